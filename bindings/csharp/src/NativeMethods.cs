// SPDX-License-Identifier: MIT
// The library's twelve functions as P/Invoke declarations.
//
// Text crosses as pointers to NUL-terminated UTF-8 in a buffer's reused
// byte block (Utf8Writer), pinned for the call: no string is marshalled, so
// a call allocates nothing, and a NUL character or a lone surrogate is
// refused instead of silently cutting or replacing text, the same way on
// every runtime. The name "velkaron-prometheus-promfmt" is mapped to the
// runtime SONAME libvelkaron-prometheus-promfmt.so.1 by Promfmt.dll.config on
// Mono and by LibraryResolver where the runtime has NativeLibrary; on Windows
// it loads velkaron-prometheus-promfmt.dll.
using System;
using System.Runtime.InteropServices;

namespace Promfmt
{
    internal static unsafe class NativeMethods
    {
        internal const string Lib = "velkaron-prometheus-promfmt";
        private const CallingConvention Cdecl = CallingConvention.Cdecl;

        // The library's last-error text is one block for the whole process.
        // Every call that can fail runs under this lock, and a failing call
        // reads the text before it is released.
        internal static readonly object Gate = new object();

        static NativeMethods()
        {
            LibraryResolver.Register();
        }

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern BufferHandle promfmt_buffer_create(UIntPtr initialCapacity);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern void promfmt_buffer_free(IntPtr buf);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern void promfmt_buffer_reset(BufferHandle buf);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern IntPtr promfmt_buffer_data(BufferHandle buf);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern UIntPtr promfmt_buffer_len(BufferHandle buf);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern IntPtr promfmt_last_error();

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern int promfmt_escape_label_value(byte* input, byte* output,
                                                              UIntPtr outSize);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern int promfmt_emit_sample(BufferHandle buf, byte* name,
                                                       byte* labelsJson, double value,
                                                       long timestamp);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern int promfmt_emit_help(BufferHandle buf, byte* name, byte* help);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern int promfmt_emit_type(BufferHandle buf, byte* name, int type);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern int promfmt_emit_gauge(BufferHandle buf, byte* name, byte* help,
                                                      byte* labelsJson, double value);

        [DllImport(Lib, CallingConvention = Cdecl)]
        internal static extern int promfmt_emit_counter(BufferHandle buf, byte* name,
                                                        byte* help, byte* labelsJson,
                                                        double value);

        // Call with Gate held, right after the call that returned status.
        internal static int Check(int status)
        {
            if (status < 0)
                throw new PromfmtException(Utf8.FromNul(promfmt_last_error()));
            return status;
        }

        // The text at offset in a pinned block; offset -1 is the C NULL.
        internal static byte* At(byte* block, int offset)
        {
            return offset < 0 ? null : block + offset;
        }
    }
}
