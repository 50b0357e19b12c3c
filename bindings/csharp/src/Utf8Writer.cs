// SPDX-License-Identifier: MIT
using System;

namespace Promfmt
{
    // A reused block of UTF-8 text, the arguments of one library call: each
    // piece NUL-terminated, each found by its offset. Grows as needed and
    // never shrinks, so a thread in steady use allocates nothing here.
    //
    // Text the library would mangle is refused with ArgumentException: a NUL
    // character (C would cut the text there) and a lone surrogate (not
    // encodable as UTF-8).
    internal sealed class Utf8Writer
    {
        // One per thread, so that encoding needs no lock; the library is
        // called under NativeMethods.Gate.
        [ThreadStatic]
        private static Utf8Writer forThisThread;

        private byte[] bytes = new byte[256];
        private int length;

        internal byte[] Bytes
        {
            get { return bytes; }
        }

        // This thread's block, emptied.
        internal static Utf8Writer ForThisThread()
        {
            Utf8Writer writer = forThisThread ?? (forThisThread = new Utf8Writer());
            writer.length = 0;
            return writer;
        }

        internal int Length
        {
            get { return length; }
        }

        // Appends the text and a NUL; returns where it starts, or -1 for null
        // (the C NULL).
        internal int Text(string text, string what)
        {
            if (text == null)
                return -1;
            int start = length;
            Chars(text, what, false);
            Byte(0);
            return start;
        }

        // Appends a span's bytes and a NUL; returns where they start.
        internal int Text(ReadOnlySpan<byte> text, string what)
        {
            int start = length;
            Reserve(text.Length + 1);
            for (int i = 0; i < text.Length; i++)
            {
                if (text[i] == 0)
                    throw new ArgumentException(what + " contains a NUL byte", what);
                bytes[length++] = text[i];
            }
            bytes[length++] = 0;
            return start;
        }

        // Appends the text as a JSON string, quotes included.
        internal void JsonString(string text, string what)
        {
            Byte((byte)'"');
            Chars(text, what, true);
            Byte((byte)'"');
        }

        internal void Byte(byte b)
        {
            Reserve(1);
            bytes[length++] = b;
        }

        internal void Reserve(int count)
        {
            int need = checked(length + count);
            if (need <= bytes.Length)
                return;
            int size = bytes.Length;
            while (size < need)
                size = size > int.MaxValue / 2 ? need : size * 2;
            Array.Resize(ref bytes, size);
        }

        private void Chars(string text, string what, bool json)
        {
            // A char takes at most 3 bytes of UTF-8 (a surrogate pair 4 for
            // two chars), or 6 as a JSON \u00XX escape.
            Reserve(checked(text.Length * (json ? 6 : 3)));
            byte[] b = bytes;
            int n = length;
            for (int i = 0; i < text.Length; i++)
            {
                char c = text[i];
                if (c == '\0')
                    throw new ArgumentException(what + " contains a NUL character", what);
                if (c < 0x80)
                {
                    if (json && (c < 0x20 || c == '"' || c == '\\'))
                        n = JsonEscape(b, n, c);
                    else
                        b[n++] = (byte)c;
                }
                else if (c < 0x800)
                {
                    b[n++] = (byte)(0xC0 | (c >> 6));
                    b[n++] = (byte)(0x80 | (c & 0x3F));
                }
                else if (!char.IsSurrogate(c))
                {
                    b[n++] = (byte)(0xE0 | (c >> 12));
                    b[n++] = (byte)(0x80 | ((c >> 6) & 0x3F));
                    b[n++] = (byte)(0x80 | (c & 0x3F));
                }
                else
                {
                    if (!char.IsHighSurrogate(c) || i + 1 == text.Length ||
                        !char.IsLowSurrogate(text[i + 1]))
                        throw new ArgumentException(what + " is not valid UTF-16 text", what);
                    int cp = char.ConvertToUtf32(c, text[++i]);
                    b[n++] = (byte)(0xF0 | (cp >> 18));
                    b[n++] = (byte)(0x80 | ((cp >> 12) & 0x3F));
                    b[n++] = (byte)(0x80 | ((cp >> 6) & 0x3F));
                    b[n++] = (byte)(0x80 | (cp & 0x3F));
                }
            }
            length = n;
        }

        private static int JsonEscape(byte[] b, int n, char c)
        {
            const string hex = "0123456789abcdef";
            b[n++] = (byte)'\\';
            switch (c)
            {
                case '"': b[n++] = (byte)'"'; break;
                case '\\': b[n++] = (byte)'\\'; break;
                case '\n': b[n++] = (byte)'n'; break;
                case '\r': b[n++] = (byte)'r'; break;
                case '\t': b[n++] = (byte)'t'; break;
                default:
                    b[n++] = (byte)'u';
                    b[n++] = (byte)'0';
                    b[n++] = (byte)'0';
                    b[n++] = (byte)hex[c >> 4];
                    b[n++] = (byte)hex[c & 0xF];
                    break;
            }
            return n;
        }
    }
}
