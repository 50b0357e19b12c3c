// SPDX-License-Identifier: MIT
using System;
using System.Collections.Generic;

namespace Promfmt
{
    /// <summary>
    /// A growing block of Prometheus exposition text (format 0.0.4).
    /// Dispose it when done (a buffer never disposed is freed by its
    /// finalizer); any use after Dispose throws ObjectDisposedException.
    /// Safe to share between threads: calls into the library are serialised.
    /// </summary>
    public sealed class MetricBuffer : IDisposable
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
            handle.Dispose();
        }

        private BufferHandle Open()
        {
            if (handle.IsClosed)
                throw new ObjectDisposedException("MetricBuffer");
            return handle;
        }

        /// <summary>Appends <c>name{labels} value[ timestamp]</c>; the timestamp
        /// (milliseconds) is written only when above 0.</summary>
        public void Sample(string name, double value,
                           IEnumerable<KeyValuePair<string, string>> labels = null,
                           long timestamp = 0)
        {
            SampleJson(name, value, LabelsJson.Write(labels), timestamp);
        }

        /// <summary>As Sample, with the labels given as the text of one JSON object.</summary>
        public void SampleJson(string name, double value, string labelsJson, long timestamp = 0)
        {
            byte[] n = Utf8.ToNul(name, "name"), l = Utf8.ToNul(labelsJson, "labelsJson");
            lock (NativeMethods.Gate)
            {
                NativeMethods.Check(
                    NativeMethods.promfmt_emit_sample(Open(), n, l, value, timestamp));
            }
        }

        /// <summary>Appends <c># HELP name text</c>.</summary>
        public void Help(string name, string text)
        {
            byte[] n = Utf8.ToNul(name, "name"), h = Utf8.ToNul(text, "text");
            lock (NativeMethods.Gate)
                NativeMethods.Check(NativeMethods.promfmt_emit_help(Open(), n, h));
        }

        /// <summary>Appends <c># TYPE name kind</c>.</summary>
        public void Type(string name, MetricType type)
        {
            byte[] n = Utf8.ToNul(name, "name");
            lock (NativeMethods.Gate)
                NativeMethods.Check(NativeMethods.promfmt_emit_type(Open(), n, (int)type));
        }

        /// <summary>Appends a gauge family: HELP (when help is not empty), TYPE and
        /// one sample without timestamp.</summary>
        public void Gauge(string name, double value,
                          IEnumerable<KeyValuePair<string, string>> labels = null,
                          string help = null)
        {
            Family(false, name, value, labels, help);
        }

        /// <summary>Appends a counter family as Gauge does; no "_total" is added.</summary>
        public void Counter(string name, double value,
                            IEnumerable<KeyValuePair<string, string>> labels = null,
                            string help = null)
        {
            Family(true, name, value, labels, help);
        }

        private void Family(bool counter, string name, double value,
                            IEnumerable<KeyValuePair<string, string>> labels, string help)
        {
            byte[] n = Utf8.ToNul(name, "name"), h = Utf8.ToNul(help, "help");
            byte[] l = Utf8.ToNul(LabelsJson.Write(labels), "labels");
            lock (NativeMethods.Gate)
            {
                BufferHandle buf = Open();
                NativeMethods.Check(counter
                    ? NativeMethods.promfmt_emit_counter(buf, n, h, l, value)
                    : NativeMethods.promfmt_emit_gauge(buf, n, h, l, value));
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
                    return checked((int)NativeMethods.promfmt_buffer_len(Open()).ToUInt64());
            }
        }

        /// <summary>The text so far, as UTF-8 bytes.</summary>
        public byte[] ToArray()
        {
            lock (NativeMethods.Gate)
            {
                BufferHandle buf = Open();
                int length = checked((int)NativeMethods.promfmt_buffer_len(buf).ToUInt64());
                return Utf8.Copy(NativeMethods.promfmt_buffer_data(buf), length);
            }
        }

        /// <summary>The text so far.</summary>
        public override string ToString()
        {
            byte[] text = ToArray();
            return Utf8.FromBytes(text, text.Length);
        }
    }
}
