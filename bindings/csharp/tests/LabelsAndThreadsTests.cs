// SPDX-License-Identifier: MIT
// Labels in every form the binding takes, the streamed text, buffers shared
// between threads, and the managed allocations of a reused buffer.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;
using System.Threading;
using Promfmt;

internal static partial class BindingTests
{
    // Names out of order; values that take every JSON escape, a control
    // character, and UTF-8 of two, three and four bytes.
    private static readonly KeyValuePair<string, string>[] Tricky =
    {
        Pair("z", "a\"b\\c\nd\re\tf\u0001"), Pair("a", "\u00e9\u2192\U0001F600"), Pair("_m", ""),
    };
    private const string TrickyJson =
        "{\"z\":\"a\\\"b\\\\c\\nd\\re\\tf\\u0001\",\"a\":\"\u00e9\u2192\U0001F600\",\"_m\":\"\"}";
    private const string TrickyLine =
        "m{_m=\"\",a=\"\u00e9\u2192\U0001F600\",z=\"a\\\"b\\\\c\\nd\re\tf\u0001\"} 1\n";

    private static void EveryLabelsForm()
    {
        var dictionary = Tricky.ToDictionary(p => p.Key, p => p.Value);
        const string gauge = "# HELP m H.\n# TYPE m gauge\n", counter = "# HELP m H.\n# TYPE m counter\n";
        var forms = new[]
        {
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "pair array", b => b.Sample("m", 1, Tricky), ""),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "pair List", b => b.Sample("m", 1, Tricky.ToList()), ""),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "Dictionary", b => b.Sample("m", 1, dictionary), ""),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "SortedDictionary", b => b.Sample("m", 1, new SortedDictionary<string, string>(dictionary)), ""),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "JSON text", b => b.SampleJson("m", 1, TrickyJson), ""),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "UTF-8 JSON", b => b.SampleJson("m", 1, Encoding.UTF8.GetBytes(TrickyJson)), ""),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "gauge pairs", b => b.Gauge("m", 1, Tricky, "H."), gauge),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "gauge Dictionary", b => b.Gauge("m", 1, dictionary, "H."), gauge),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "gauge JSON", b => b.GaugeJson("m", 1, TrickyJson, "H."), gauge),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "counter pairs", b => b.Counter("m", 1, Tricky, "H."), counter),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "counter Dictionary", b => b.Counter("m", 1, dictionary, "H."), counter),
            Tuple.Create<string, Action<MetricBuffer>, string>(
                "counter JSON", b => b.CounterJson("m", 1, TrickyJson, "H."), counter),
        };
        foreach (var form in forms)
        {
            using (var buf = new MetricBuffer())
            {
                form.Item2(buf);
                Equal(form.Item3 + TrickyLine, buf.ToString(), form.Item1);
            }
        }
    }

    private static void ThreadsShareBuffer()
    {
        const int threads = 4, lines = 2000;
        using (var buf = new MetricBuffer())
        {
            var workers = Enumerable.Range(0, threads).Select(t => new Thread(() =>
            {
                var labels = new[] { Pair("thread", t.ToString()) };
                for (int i = 0; i < lines; i++)
                    buf.Sample("shared", i, labels);
            })).ToList();
            workers.ForEach(w => w.Start());
            workers.ForEach(w => w.Join());
            var seen = buf.ToString().Split('\n').Where(l => l.Length > 0)
                .GroupBy(l => l.Substring(0, l.IndexOf(' '))).ToDictionary(g => g.Key, g => g.ToList());
            Equal(threads, seen.Count, "series");
            foreach (var series in seen)
            {
                var values = series.Value.Select(l => l.Substring(l.IndexOf(' ') + 1));
                Equal(string.Join(",", Enumerable.Range(0, lines)), string.Join(",", values),
                      series.Key + " values in order");
            }
        }
    }

    private static void WriteToStream()
    {
        using (var buf = new MetricBuffer())
        {
            // Larger than the block WriteTo copies through at a time.
            for (int i = 0; i < 5000; i++)
                buf.Sample("streamed", i, Tricky);
            var stream = new MemoryStream();
            buf.WriteTo(stream);
            Equal(Convert.ToBase64String(buf.ToArray()), Convert.ToBase64String(stream.ToArray()),
                  "bytes");
            Throws<ArgumentNullException>(() => buf.WriteTo(null), "null stream");
        }
    }

    private static void SteadyStateAllocations()
    {
        var pairs = new[] { Pair("instance", "host-1"), Pair("job", "api"), Pair("path", "/v1/\u00e9") };
        var dictionary = pairs.ToDictionary(p => p.Key, p => p.Value);
        const string json = "{\"instance\":\"host-1\",\"job\":\"api\",\"path\":\"/v1/\u00e9\"}";
        byte[] utf8 = Encoding.UTF8.GetBytes(json);
        // Each writes one family, HELP, TYPE and ten samples, with no
        // delegate made inside (that would be the test's own allocation).
        var scrapes = new Dictionary<string, Action<MetricBuffer>>
        {
            { "pair list", b => { Family(b); for (int i = 0; i < 10; i++) b.Sample("requests", i, pairs); } },
            { "Dictionary", b => { Family(b); for (int i = 0; i < 10; i++) b.Sample("requests", i, dictionary, 1700000000000); } },
            { "JSON text", b => { Family(b); for (int i = 0; i < 10; i++) b.SampleJson("requests", i, json); } },
            { "UTF-8 JSON", b => { Family(b); for (int i = 0; i < 10; i++) b.SampleJson("requests", i, utf8); } },
            { "gauge and counter", b => { b.Gauge("g", 1, pairs, "G."); b.Counter("c", 2, dictionary, "C."); } },
        };
        foreach (var scrape in scrapes)
        {
            using (var buf = new MetricBuffer())
            {
                Action once = () => { buf.Reset(); scrape.Value(buf); buf.WriteTo(Stream.Null); };
                for (int i = 0; i < 3; i++)
                    once();
                long before = GC.GetAllocatedBytesForCurrentThread();
                for (int i = 0; i < 20; i++)
                    once();
                Equal(0L, GC.GetAllocatedBytesForCurrentThread() - before,
                      "bytes allocated by 20 scrapes, " + scrape.Key);
            }
        }
    }

    private static void Family(MetricBuffer buf)
    {
        buf.Help("requests", "Requests served.");
        buf.Type("requests", MetricType.Counter);
    }
}
