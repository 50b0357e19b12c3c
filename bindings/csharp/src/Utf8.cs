// SPDX-License-Identifier: MIT
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Promfmt
{
    // The library's UTF-8 text read back into managed strings and arrays.
    internal static class Utf8
    {
        // Throws on invalid UTF-8 instead of writing U+FFFD silently.
        private static readonly UTF8Encoding Strict = new UTF8Encoding(false, true);

        internal static string FromBytes(byte[] bytes, int count)
        {
            return Strict.GetString(bytes, 0, count);
        }

        internal static byte[] Copy(IntPtr text, int length)
        {
            var bytes = new byte[length];
            if (length > 0)
                Marshal.Copy(text, bytes, 0, length);
            return bytes;
        }

        internal static string FromNul(IntPtr text)
        {
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0)
                length++;
            return Encoding.UTF8.GetString(Copy(text, length));
        }
    }
}
