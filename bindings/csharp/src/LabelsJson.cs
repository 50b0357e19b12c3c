// SPDX-License-Identifier: MIT
using System;
using System.Collections.Generic;
using System.Globalization;
using System.Text;

namespace Promfmt
{
    // Writes labels as the text of one JSON object, the form the library
    // takes. Every value is a JSON string, so nothing depends on the culture.
    internal static class LabelsJson
    {
        internal static string Write(IEnumerable<KeyValuePair<string, string>> labels)
        {
            if (labels == null)
                return null;
            var json = new StringBuilder("{");
            foreach (var label in labels)
            {
                if (label.Key == null)
                    throw new ArgumentException("a label name is null", "labels");
                if (label.Value == null)
                    throw new ArgumentException("label " + label.Key + " has a null value",
                                                "labels");
                if (json.Length > 1)
                    json.Append(',');
                AppendString(json, label.Key);
                json.Append(':');
                AppendString(json, label.Value);
            }
            return json.Append('}').ToString();
        }

        private static void AppendString(StringBuilder json, string text)
        {
            json.Append('"');
            foreach (char c in text)
            {
                switch (c)
                {
                    case '"': json.Append("\\\""); break;
                    case '\\': json.Append("\\\\"); break;
                    case '\n': json.Append("\\n"); break;
                    case '\r': json.Append("\\r"); break;
                    case '\t': json.Append("\\t"); break;
                    case '\0':
                        // The library would cut the text at an escaped NUL.
                        throw new ArgumentException("a label contains a NUL character", "labels");
                    default:
                        if (c < ' ')
                            json.Append("\\u").Append(
                                ((int)c).ToString("x4", CultureInfo.InvariantCulture));
                        else
                            json.Append(c);
                        break;
                }
            }
            json.Append('"');
        }
    }
}
