// SPDX-License-Identifier: MIT
namespace Promfmt
{
    public static class LabelValue
    {
        /// <summary>Escapes backslash, double quote and line feed as the
        /// exposition format wants them in a label value.</summary>
        public static unsafe string Escape(string value)
        {
            Utf8Writer text = Utf8Writer.ForThisThread();
            int input = text.Text(value, "value");
            fixed (byte* a = text.Bytes)
            {
                lock (NativeMethods.Gate)
                {
                    byte* from = NativeMethods.At(a, input);
                    int length = NativeMethods.Check(
                        NativeMethods.promfmt_escape_label_value(from, null, System.UIntPtr.Zero));
                    var output = new byte[length + 1];
                    fixed (byte* to = output)
                        NativeMethods.Check(NativeMethods.promfmt_escape_label_value(
                            from, to, new System.UIntPtr((ulong)output.Length)));
                    return Utf8.FromBytes(output, length);
                }
            }
        }
    }
}
