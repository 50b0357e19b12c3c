// SPDX-License-Identifier: MIT
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;

namespace Promfmt
{
    /// <summary>
    /// A growing block of Prometheus exposition text (format 0.0.4).
    /// Dispose it when done (a buffer never disposed is freed by its
    /// finalizer); any use after Dispose throws ObjectDisposedException.
    /// Safe to share between threads: each call is atomic (calls into the
    /// library are serialised).
    /// Once the buffer and its text block have grown, writing allocates no
    /// managed memory (labels from a pair list, a Dictionary or JSON text).
    /// </summary>
    public sealed unsafe class MetricBuffer : IDisposable
    {
        private readonly BufferHandle handle;

        /// <param name="initialCapacity">bytes to reserve; below 64 gives 64.</param>
        public MetricBuffer(long initialCapacity = 0)
        {
            if (initialCapacity < 0)
                throw new ArgumentOutOfRangeException("initialCapacity");
            lock (NativeMethods.Gate)
            {
                handle = NativeMethods.promfmt_buffer_create(new UIntPtr((ulong)initialCapacity));
                if (handle.IsInvalid)
                    throw new PromfmtException(Utf8.FromNul(NativeMethods.promfmt_last_error()));
            }
        }

        public void Dispose()
        {
            lock (NativeMethods.Gate)
                handle.Dispose();
        }

        private BufferHandle Open()
        {
            if (handle.IsClosed)
                throw new ObjectDisposedException("MetricBuffer");
            return handle;
        }

        /// <summary>Appends <c>name value[ timestamp]</c>, a sample without
        /// labels; the timestamp (milliseconds) is written only when above 0.</summary>
        public void Sample(string name, double value, long timestamp = 0)
        {
            EmitSample(Utf8Writer.ForThisThread(), name, -1, value, timestamp);
        }

        /// <summary>Appends <c>name{labels} value[ timestamp]</c>.</summary>
        public void Sample(string name, double value, IReadOnlyDictionary<string, string> labels,
                           long timestamp = 0)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            EmitSample(args, name, LabelsJson.Write(args, labels), value, timestamp);
        }

        /// <summary>Appends <c>name{labels} value[ timestamp]</c>, the labels
        /// given as a list of name-value pairs.</summary>
        public void Sample(string name, double value,
                           IReadOnlyList<KeyValuePair<string, string>> labels, long timestamp = 0)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            EmitSample(args, name, LabelsJson.Write(args, labels), value, timestamp);
        }

        /// <summary>As Sample, with the labels given as the text of one JSON object.</summary>
        public void SampleJson(string name, double value, string labelsJson, long timestamp = 0)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            EmitSample(args, name, args.Text(labelsJson, "labelsJson"), value, timestamp);
        }

        /// <summary>As Sample, with the labels given as the UTF-8 text of one
        /// JSON object, for example encoded once per series and kept.</summary>
        public void SampleJson(string name, double value, ReadOnlySpan<byte> labelsJson,
                               long timestamp = 0)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            EmitSample(args, name, args.Text(labelsJson, "labelsJson"), value, timestamp);
        }

        // The labels are already in args, at offset labels (-1 for none).
        private void EmitSample(Utf8Writer args, string name, int labels, double value, long timestamp)
        {
            int n = args.Text(name, "name");
            fixed (byte* a = args.Bytes)
            {
                lock (NativeMethods.Gate)
                    NativeMethods.Check(NativeMethods.promfmt_emit_sample(
                        Open(), NativeMethods.At(a, n), NativeMethods.At(a, labels), value,
                        timestamp));
            }
        }

        /// <summary>Appends <c># HELP name text</c>.</summary>
        public void Help(string name, string text)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            int n = args.Text(name, "name"), h = args.Text(text, "text");
            fixed (byte* a = args.Bytes)
            {
                lock (NativeMethods.Gate)
                    NativeMethods.Check(NativeMethods.promfmt_emit_help(
                        Open(), NativeMethods.At(a, n), NativeMethods.At(a, h)));
            }
        }

        /// <summary>Appends <c># TYPE name kind</c>.</summary>
        public void Type(string name, MetricType type)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            int n = args.Text(name, "name");
            fixed (byte* a = args.Bytes)
            {
                lock (NativeMethods.Gate)
                    NativeMethods.Check(NativeMethods.promfmt_emit_type(
                        Open(), NativeMethods.At(a, n), (int)type));
            }
        }

        /// <summary>Appends a gauge family of one series: HELP (when help is
        /// not empty), TYPE and one sample without labels or timestamp.</summary>
        public void Gauge(string name, double value, string help = null)
        {
            Family(Utf8Writer.ForThisThread(), false, name, -1, value, help);
        }

        /// <summary>Appends a gauge family of one series with labels.</summary>
        public void Gauge(string name, double value, IReadOnlyDictionary<string, string> labels,
                          string help = null)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            Family(args, false, name, LabelsJson.Write(args, labels), value, help);
        }

        /// <summary>Appends a gauge family of one series with labels as pairs.</summary>
        public void Gauge(string name, double value,
                          IReadOnlyList<KeyValuePair<string, string>> labels, string help = null)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            Family(args, false, name, LabelsJson.Write(args, labels), value, help);
        }

        /// <summary>Appends a gauge family of one series, the labels as JSON text.</summary>
        public void GaugeJson(string name, double value, string labelsJson, string help = null)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            Family(args, false, name, args.Text(labelsJson, "labelsJson"), value, help);
        }

        /// <summary>Appends a counter family as Gauge does; no "_total" is added.</summary>
        public void Counter(string name, double value, string help = null)
        {
            Family(Utf8Writer.ForThisThread(), true, name, -1, value, help);
        }

        /// <summary>Appends a counter family of one series with labels.</summary>
        public void Counter(string name, double value, IReadOnlyDictionary<string, string> labels,
                            string help = null)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            Family(args, true, name, LabelsJson.Write(args, labels), value, help);
        }

        /// <summary>Appends a counter family of one series with labels as pairs.</summary>
        public void Counter(string name, double value,
                            IReadOnlyList<KeyValuePair<string, string>> labels, string help = null)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            Family(args, true, name, LabelsJson.Write(args, labels), value, help);
        }

        /// <summary>Appends a counter family of one series, the labels as JSON text.</summary>
        public void CounterJson(string name, double value, string labelsJson, string help = null)
        {
            Utf8Writer args = Utf8Writer.ForThisThread();
            Family(args, true, name, args.Text(labelsJson, "labelsJson"), value, help);
        }

        private void Family(Utf8Writer args, bool counter, string name, int labels, double value,
                            string help)
        {
            int n = args.Text(name, "name"), h = args.Text(help, "help");
            fixed (byte* a = args.Bytes)
            {
                lock (NativeMethods.Gate)
                {
                    BufferHandle buf = Open();
                    NativeMethods.Check(counter
                        ? NativeMethods.promfmt_emit_counter(buf, NativeMethods.At(a, n),
                            NativeMethods.At(a, h), NativeMethods.At(a, labels), value)
                        : NativeMethods.promfmt_emit_gauge(buf, NativeMethods.At(a, n),
                            NativeMethods.At(a, h), NativeMethods.At(a, labels), value));
                }
            }
        }

        /// <summary>Empties the text, keeping the memory for the next scrape.</summary>
        public void Reset()
        {
            lock (NativeMethods.Gate)
                NativeMethods.promfmt_buffer_reset(Open());
        }

        /// <summary>The text's length in bytes.</summary>
        public int Length
        {
            get
            {
                lock (NativeMethods.Gate)
                    return TextLength(Open());
            }
        }

        private static int TextLength(BufferHandle buf)
        {
            return checked((int)NativeMethods.promfmt_buffer_len(buf).ToUInt64());
        }

        /// <summary>The text so far, as UTF-8 bytes.</summary>
        public byte[] ToArray()
        {
            lock (NativeMethods.Gate)
            {
                BufferHandle buf = Open();
                byte[] text = Utf8.Copy(NativeMethods.promfmt_buffer_data(buf), TextLength(buf));
                GC.KeepAlive(buf);
                return text;
            }
        }

        /// <summary>The text so far.</summary>
        public override string ToString()
        {
            byte[] text = ToArray();
            return Utf8.FromBytes(text, text.Length);
        }

        /// <summary>Writes the text so far to a stream (an HTTP response body,
        /// say), copied through this thread's reused block: no managed
        /// allocation. Write all lines first: the text is copied in parts, and
        /// another thread writing to this buffer meanwhile would tear it.</summary>
        public void WriteTo(Stream stream)
        {
            if (stream == null)
                throw new ArgumentNullException("stream");
            Utf8Writer chunk = Utf8Writer.ForThisThread();
            chunk.Reserve(64 * 1024);
            for (int done = 0, count = 1; count > 0; done += count)
            {
                lock (NativeMethods.Gate)
                {
                    BufferHandle buf = Open();
                    // Not the block's last byte, which stays 0 (see Utf8Writer).
                    count = Math.Max(0, Math.Min(TextLength(buf) - done, chunk.Bytes.Length - 1));
                    Marshal.Copy(NativeMethods.promfmt_buffer_data(buf) + done, chunk.Bytes, 0, count);
                    GC.KeepAlive(buf);
                }
                stream.Write(chunk.Bytes, 0, count);
            }
        }
    }
}
