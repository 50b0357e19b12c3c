// SPDX-License-Identifier: MIT
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Promfmt
{
    // Strings to and from the library's NUL-terminated UTF-8 bytes.
    internal static class Utf8
    {
        // Throws on a lone surrogate instead of writing U+FFFD silently.
        private static readonly UTF8Encoding Strict = new UTF8Encoding(false, true);

        // null stays null (the C NULL). A NUL character is refused: C would
        // silently cut the text there.
        internal static byte[] ToNul(string text, string what)
        {
            if (text == null)
                return null;
            if (text.IndexOf('\0') >= 0)
                throw new ArgumentException(what + " contains a NUL character", what);
            byte[] bytes;
            try
            {
                bytes = new byte[Strict.GetByteCount(text) + 1];
            }
            catch (EncoderFallbackException e)
            {
                throw new ArgumentException(what + " is not valid UTF-16 text", what, e);
            }
            Strict.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

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
