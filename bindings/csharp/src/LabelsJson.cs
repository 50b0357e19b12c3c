// SPDX-License-Identifier: MIT
using System;
using System.Collections.Generic;

namespace Promfmt
{
    // Writes labels as the text of one JSON object, the form the library
    // takes, into the call's UTF-8 block. Every value is a JSON string, so
    // nothing depends on the culture. Each Write returns where the
    // NUL-terminated text starts, or -1 for null labels.
    //
    // Arrays, Lists and Dictionaries are walked through their own types:
    // an array's interface indexer is slow under Mono, and enumerating any
    // other collection through its interface allocates an enumerator.
    internal static class LabelsJson
    {
        internal static int Write(Utf8Writer text, IReadOnlyList<KeyValuePair<string, string>> labels)
        {
            if (labels == null)
                return -1;
            int start = Open(text);
            var array = labels as KeyValuePair<string, string>[];
            var list = labels as List<KeyValuePair<string, string>>;
            if (array != null)
            {
                for (int i = 0; i < array.Length; i++)
                    Member(text, i, array[i]);
            }
            else if (list != null)
            {
                for (int i = 0; i < list.Count; i++)
                    Member(text, i, list[i]);
            }
            else
            {
                for (int i = 0; i < labels.Count; i++)
                    Member(text, i, labels[i]);
            }
            return Close(text, start);
        }

        internal static int Write(Utf8Writer text, IReadOnlyDictionary<string, string> labels)
        {
            if (labels == null)
                return -1;
            int start = Open(text), i = 0;
            var dictionary = labels as Dictionary<string, string>;
            if (dictionary != null)
            {
                foreach (var label in dictionary)
                    Member(text, i++, label);
            }
            else
            {
                foreach (var label in labels)
                    Member(text, i++, label);
            }
            return Close(text, start);
        }

        // Both return where the object's text starts.
        private static int Open(Utf8Writer text)
        {
            int start = text.Length;
            text.Byte((byte)'{');
            return start;
        }

        private static int Close(Utf8Writer text, int start)
        {
            text.Byte((byte)'}');
            text.Byte(0);
            return start;
        }

        private static void Member(Utf8Writer text, int index, KeyValuePair<string, string> label)
        {
            if (label.Key == null)
                throw new ArgumentException("a label name is null", "labels");
            if (label.Value == null)
                throw new ArgumentException("label " + label.Key + " has a null value", "labels");
            text.JsonMember(index == 0, label.Key, label.Value);
        }
    }
}
