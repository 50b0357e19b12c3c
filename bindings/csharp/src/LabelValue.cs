// SPDX-License-Identifier: MIT
namespace Promfmt
{
    public static class LabelValue
    {
        /// <summary>Escapes backslash, double quote and line feed as the
        /// exposition format wants them in a label value.</summary>
        public static string Escape(string value)
        {
            byte[] input = Utf8.ToNul(value, "value");
            lock (NativeMethods.Gate)
            {
                int length = NativeMethods.Check(
                    NativeMethods.promfmt_escape_label_value(input, null, System.UIntPtr.Zero));
                var output = new byte[length + 1];
                NativeMethods.Check(NativeMethods.promfmt_escape_label_value(
                    input, output, new System.UIntPtr((ulong)output.Length)));
                return Utf8.FromBytes(output, length);
            }
        }
    }
}
