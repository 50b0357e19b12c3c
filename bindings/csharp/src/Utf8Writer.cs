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
    internal sealed unsafe class Utf8Writer
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

        internal int Length
        {
            get { return length; }
        }

        // This thread's block, emptied.
        internal static Utf8Writer ForThisThread()
        {
            Utf8Writer writer = forThisThread ?? (forThisThread = new Utf8Writer());
            writer.length = 0;
            return writer;
        }

        // Appends the text and a NUL; returns where it starts, or -1 for null
        // (the C NULL).
        internal int Text(string text, string what)
        {
            if (text == null)
                return -1;
            int start = length;
            Reserve(checked(text.Length * 3 + 1));
            fixed (byte* block = bytes)
            {
                byte* end = Chars(block + length, text, what, false);
                *end++ = 0;
                length = (int)(end - block);
            }
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

        // Appends one member of a JSON object, "name":"value", after a comma
        // unless it is the first.
        internal void JsonMember(bool first, string name, string value)
        {
            // A char takes at most 3 bytes of UTF-8 (a surrogate pair 4 for
            // two chars), or 6 as a JSON \u00XX escape.
            Reserve(checked((name.Length + value.Length) * 6 + 6));
            fixed (byte* block = bytes)
            {
                byte* at = block + length;
                if (!first)
                    *at++ = (byte)',';
                *at++ = (byte)'"';
                at = Chars(at, name, "labels", true);
                *at++ = (byte)'"';
                *at++ = (byte)':';
                *at++ = (byte)'"';
                at = Chars(at, value, "labels", true);
                *at++ = (byte)'"';
                length = (int)(at - block);
            }
        }

        internal void Byte(byte b)
        {
            Reserve(1);
            bytes[length++] = b;
        }

        // Makes room for count more bytes. The block's last byte is never
        // written and stays 0, so the library reading at any offset stops
        // inside the block, whatever a call left there.
        internal void Reserve(int count)
        {
            int need = checked(length + count + 1);
            if (need <= bytes.Length)
                return;
            int size = bytes.Length;
            while (size < need)
                size = size > int.MaxValue / 2 ? need : size * 2;
            Array.Resize(ref bytes, size);
        }

        // Writes the text's UTF-8 at to, JSON-escaped when json is set, into
        // room reserved by the caller; returns the end.
        private static byte* Chars(byte* to, string text, string what, bool json)
        {
            fixed (char* start = text)
            {
                char* p = start, end = start + text.Length;
                while (p < end)
                {
                    // The common case first: ASCII copied as it is.
                    uint c = *p;
                    if (c - 1 < 0x7F && (!json || (c >= 0x20 && c != '"' && c != '\\')))
                    {
                        *to++ = (byte)c;
                        p++;
                        continue;
                    }
                    to = Special(to, ref p, end, what);
                }
            }
            return to;
        }

        // The char at p, past the common case: a NUL, a char JSON escapes,
        // or one or two chars that take more than one byte. Moves p past it.
        private static byte* Special(byte* to, ref char* p, char* end, string what)
        {
            char c = *p++;
            if (c == '\0')
                throw new ArgumentException(what + " contains a NUL character", what);
            if (c < 0x80)
                return JsonEscape(to, c);
            if (c < 0x800)
            {
                *to++ = (byte)(0xC0 | (c >> 6));
                *to++ = (byte)(0x80 | (c & 0x3F));
            }
            else if (!char.IsSurrogate(c))
            {
                *to++ = (byte)(0xE0 | (c >> 12));
                *to++ = (byte)(0x80 | ((c >> 6) & 0x3F));
                *to++ = (byte)(0x80 | (c & 0x3F));
            }
            else
            {
                if (!char.IsHighSurrogate(c) || p == end || !char.IsLowSurrogate(*p))
                    throw new ArgumentException(what + " is not valid UTF-16 text", what);
                int cp = char.ConvertToUtf32(c, *p++);
                *to++ = (byte)(0xF0 | (cp >> 18));
                *to++ = (byte)(0x80 | ((cp >> 12) & 0x3F));
                *to++ = (byte)(0x80 | ((cp >> 6) & 0x3F));
                *to++ = (byte)(0x80 | (cp & 0x3F));
            }
            return to;
        }

        private static byte* JsonEscape(byte* to, char c)
        {
            const string hex = "0123456789abcdef";
            *to++ = (byte)'\\';
            switch (c)
            {
                case '"': *to++ = (byte)'"'; break;
                case '\\': *to++ = (byte)'\\'; break;
                case '\n': *to++ = (byte)'n'; break;
                case '\r': *to++ = (byte)'r'; break;
                case '\t': *to++ = (byte)'t'; break;
                default:
                    *to++ = (byte)'u';
                    *to++ = (byte)'0';
                    *to++ = (byte)'0';
                    *to++ = (byte)hex[c >> 4];
                    *to++ = (byte)hex[c & 0xF];
                    break;
            }
            return to;
        }
    }
}
