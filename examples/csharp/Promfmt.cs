// SPDX-License-Identifier: MIT
// P/Invoke declarations of promfmt's twelve functions for C# hosts.
//
// Strings go in as UTF-8 (NUL-terminated); the library's returned strings
// (buffer text, last error) stay owned by the library: copy them with
// Marshal.PtrToStringUTF8 before the next call on that buffer. Buffers are
// IntPtr handles: free each with BufferFree exactly once. Calls return 0 on
// success and -1 on failure; LastError() then tells why. Use one buffer per
// thread; the last-error text is shared by the whole process.
using System;
using System.Runtime.InteropServices;

namespace Promfmt
{
    public enum MetricType : int
    {
        Untyped = 0,
        Counter = 1,
        Gauge = 2,
        Histogram = 3,
        Summary = 4,
    }

    public static class Native
    {
        // velkaron-prometheus-promfmt.dll on Windows; on Linux .NET also
        // probes libvelkaron-prometheus-promfmt.so.
        private const string Lib = "velkaron-prometheus-promfmt";
        private const CallingConvention Conv = CallingConvention.Cdecl;

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_buffer_create")]
        public static extern IntPtr BufferCreate(UIntPtr initialCapacity);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_buffer_free")]
        public static extern void BufferFree(IntPtr buf);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_buffer_reset")]
        public static extern void BufferReset(IntPtr buf);

        // The text stays owned by the buffer and moves on the next emit.
        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_buffer_data")]
        public static extern IntPtr BufferData(IntPtr buf);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_buffer_len")]
        public static extern UIntPtr BufferLen(IntPtr buf);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_last_error")]
        private static extern IntPtr LastErrorPtr();

        public static string LastError() => Marshal.PtrToStringUTF8(LastErrorPtr()) ?? "";

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_escape_label_value")]
        public static extern int EscapeLabelValue(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string input, byte[] output, UIntPtr outSize);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_emit_sample")]
        public static extern int EmitSample(IntPtr buf,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string labelsJson,
            double value, long timestamp);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_emit_help")]
        public static extern int EmitHelp(IntPtr buf,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string help);

        // Any int is accepted; codes outside 0..4 write "untyped".
        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_emit_type")]
        public static extern int EmitType(IntPtr buf,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name, MetricType type);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_emit_gauge")]
        public static extern int EmitGauge(IntPtr buf,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string help,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string labelsJson, double value);

        [DllImport(Lib, CallingConvention = Conv, EntryPoint = "promfmt_emit_counter")]
        public static extern int EmitCounter(IntPtr buf,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string help,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string labelsJson, double value);

        // Copies the buffer's text into a managed string.
        public static string BufferText(IntPtr buf)
        {
            int len = checked((int)BufferLen(buf).ToUInt64());
            var bytes = new byte[len];
            Marshal.Copy(BufferData(buf), bytes, 0, len);
            return System.Text.Encoding.UTF8.GetString(bytes);
        }
    }
}
