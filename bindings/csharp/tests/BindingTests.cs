// SPDX-License-Identifier: MIT
// Tests of the C# binding against the real library. Run under Mono with
// the library reachable only through its SONAME; with PROMFMT_TEST_LIBDIR
// set, also checks that the mapped copy is the one in that directory.
// Exit code 0 only when every test passed.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;
using System.Threading;
using Promfmt;

internal static partial class BindingTests
{
    private static int Main()
    {
        var tests = new List<KeyValuePair<string, Action>>
        {
            Test("scrape reads back as the expected text", ScrapeText),
            Test("library refusals carry its message and leave the buffer", LibraryRefusals),
            Test("every labels form writes the same line", EveryLabelsForm),
            Test("the binding refuses text C would mangle", BindingRefusals),
            Test("a refused family sample keeps HELP and TYPE", RefusedFamilySample),
            Test("reset empties and the buffer stays usable", ResetKeepsBufferUsable),
            Test("a disposed buffer throws ObjectDisposedException", DisposedBuffer),
            Test("undisposed buffers are freed by finalizers", FinalizedBuffers),
            Test("escape label value", EscapeTable),
            Test("each thread reads its own message", ThreadsReadOwnMessage),
            Test("threads sharing one buffer write whole lines", ThreadsShareBuffer),
            Test("WriteTo streams the same bytes as ToArray", WriteToStream),
            Test("a reused buffer allocates no managed memory", SteadyStateAllocations),
            Test("the library came through its SONAME", LoadedThroughSoname),
            Test("random labels write what their JSON bytes write", FuzzLabelsAgainstJsonRoute),
            Test("random help texts and label values are escaped by the rules", FuzzTextsAgainstTheRules),
            Test("memory and descriptors stay flat over many scrapes", SoakStaysFlat),
        };
        int passed = 0, failed = 0;
        foreach (var test in tests)
        {
            try
            {
                test.Value();
                passed++;
            }
            catch (Exception e)
            {
                failed++;
                Console.WriteLine("FAIL " + test.Key + ": " + e);
            }
        }
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }

    private static KeyValuePair<string, Action> Test(string name, Action body)
    {
        return new KeyValuePair<string, Action>(name, body);
    }

    private static void Equal<T>(T expected, T actual, string what)
    {
        if (!EqualityComparer<T>.Default.Equals(expected, actual))
            throw new Exception(what + ": expected <" + expected + "> but got <" + actual + ">");
    }

    private static TException Throws<TException>(Action call, string what)
        where TException : Exception
    {
        try
        {
            call();
        }
        catch (TException e)
        {
            return e;
        }
        catch (Exception e)
        {
            throw new Exception(what + ": expected " + typeof(TException).Name + ", got " + e);
        }
        throw new Exception(what + ": expected " + typeof(TException).Name + ", nothing thrown");
    }

    private static KeyValuePair<string, string> Pair(string name, string value)
    {
        return new KeyValuePair<string, string>(name, value);
    }

    private static Dictionary<string, string> Labels(params string[] pairs)
    {
        var labels = new Dictionary<string, string>();
        for (int i = 0; i < pairs.Length; i += 2)
            labels.Add(pairs[i], pairs[i + 1]);
        return labels;
    }

    private static void ScrapeText()
    {
        using (var buf = new MetricBuffer(16))
        {
            buf.Counter("jobs_done_total", 42, Labels("queue", "mail"), "Jobs finished.");
            buf.Gauge("temperature_celsius", 21.5,
                      Labels("room", "lab \"B\" \\ east\nwing", "sensor", "t\u00e9\u2192",
                             "floor", "2"),
                      "Temperature, \"inside\".\\ second\nline");
            buf.Help("latency_seconds", "Request latency.");
            buf.Type("latency_seconds", MetricType.Histogram);
            buf.Sample("latency_seconds_bucket", 3, Labels("le", "0.1"));
            buf.Sample("latency_seconds_bucket", 10, Labels("le", "+Inf"));
            buf.Sample("latency_seconds_sum", 4.25);
            buf.Type("odd", (MetricType)99);
            buf.Sample("odd", double.NaN, 1700000000000);
            buf.Sample("odd", double.PositiveInfinity, Labels("ctl", "a\tb\u0001"));
            buf.Sample("odd", double.NegativeInfinity, new List<KeyValuePair<string, string>>());
            buf.SampleJson("odd", 1e21, "{\"k\": 1.5, \"b\": true}");
            buf.Gauge("g", -0.1);
            const string expected =
                "# HELP jobs_done_total Jobs finished.\n" +
                "# TYPE jobs_done_total counter\n" +
                "jobs_done_total{queue=\"mail\"} 42\n" +
                "# HELP temperature_celsius Temperature, \"inside\".\\\\ second\\nline\n" +
                "# TYPE temperature_celsius gauge\n" +
                "temperature_celsius{floor=\"2\",room=\"lab \\\"B\\\" \\\\ east\\nwing\"," +
                "sensor=\"t\u00e9\u2192\"} 21.5\n" +
                "# HELP latency_seconds Request latency.\n" +
                "# TYPE latency_seconds histogram\n" +
                "latency_seconds_bucket{le=\"0.1\"} 3\n" +
                "latency_seconds_bucket{le=\"+Inf\"} 10\n" +
                "latency_seconds_sum 4.25\n" +
                "# TYPE odd untyped\n" +
                "odd NaN 1700000000000\n" +
                "odd{ctl=\"a\tb\u0001\"} +Inf\n" +
                "odd -Inf\n" +
                "odd{b=\"true\",k=\"1.5\"} 1e+21\n" +
                "# TYPE g gauge\n" +
                "g -0.1\n";
            Equal(expected, buf.ToString(), "text");
            Equal(Convert.ToBase64String(Encoding.UTF8.GetBytes(expected)),
                  Convert.ToBase64String(buf.ToArray()), "bytes");
            Equal(Encoding.UTF8.GetByteCount(expected), buf.Length, "length");
        }
    }

    private static void LibraryRefusals()
    {
        var cases = new[]
        {
            Tuple.Create<string, Action<MetricBuffer>>("invalid metric name",
                                                       b => b.Sample("1st", 1)),
            Tuple.Create<string, Action<MetricBuffer>>("invalid metric name",
                                                       b => b.Sample(null, 1)),
            Tuple.Create<string, Action<MetricBuffer>>("failed to parse labels JSON",
                                                       b => b.SampleJson("m", 1, "{\"a\":")),
            Tuple.Create<string, Action<MetricBuffer>>("labels JSON must be an object",
                                                       b => b.SampleJson("m", 1, "[1]")),
            Tuple.Create<string, Action<MetricBuffer>>("invalid label name in JSON",
                                                       b => b.Sample("m", 1, Labels("a-b", "x"))),
            Tuple.Create<string, Action<MetricBuffer>>("duplicate label name in JSON",
                b => b.Sample("m", 1, new[] { new KeyValuePair<string, string>("a", "1"),
                                              new KeyValuePair<string, string>("a", "2") })),
            Tuple.Create<string, Action<MetricBuffer>>("invalid metric name for HELP emission",
                                                       b => b.Help("a b", "x")),
            Tuple.Create<string, Action<MetricBuffer>>("invalid metric name for TYPE emission",
                                                       b => b.Type("", MetricType.Gauge)),
            Tuple.Create<string, Action<MetricBuffer>>("null buffer or metric name",
                                                       b => b.Counter(null, 1)),
        };
        using (var buf = new MetricBuffer())
        {
            buf.Gauge("before", 1, "Kept.");
            string before = buf.ToString();
            foreach (var c in cases)
            {
                var e = Throws<PromfmtException>(() => c.Item2(buf), c.Item1);
                Equal(c.Item1, e.Message, "message");
                Equal(before, buf.ToString(), "text after " + c.Item1);
            }
        }
    }

    private static void BindingRefusals()
    {
        using (var buf = new MetricBuffer())
        {
            var cases = new Dictionary<string, Action>
            {
                { "NUL in name", () => buf.Sample("m\0x", 1) },
                { "NUL in help", () => buf.Help("m", "a\0b") },
                { "NUL in label", () => buf.Sample("m", 1, Labels("x", "a\0b")) },
                { "null label value", () => buf.Sample("m", 1, Labels("x", null)) },
                { "lone surrogate", () => buf.Sample("m", 1, Labels("x", "\ud800")) },
                { "lone low surrogate", () => buf.Help("m", "a\udc00b") },
                { "high surrogate at the end", () => buf.Sample("m", 1, Labels("x", "a\ud83d")) },
                { "null label name", () => buf.Gauge("m", 1, new[] { Pair(null, "v") }) },
                { "NUL in label name", () => buf.Counter("m", 1, Labels("a\0", "v")) },
                { "NUL in JSON text", () => buf.GaugeJson("m", 1, "{}\0") },
                { "NUL byte in UTF-8 JSON", () => buf.SampleJson("m", 1, new byte[] { 123, 0, 125 }) },
            };
            foreach (var c in cases)
                Throws<ArgumentException>(c.Value, c.Key);
            Equal("", buf.ToString(), "text");
        }
        Throws<ArgumentOutOfRangeException>(() => new MetricBuffer(-1), "negative capacity");
    }

    private static void RefusedFamilySample()
    {
        using (var buf = new MetricBuffer())
        {
            var e = Throws<PromfmtException>(() => buf.Counter("c", 1, Labels("9", "x"), "H."),
                                             "bad label");
            Equal("invalid label name in JSON", e.Message, "message");
            Equal("# HELP c H.\n# TYPE c counter\n", buf.ToString(), "text");
        }
    }

    private static void ResetKeepsBufferUsable()
    {
        using (var buf = new MetricBuffer())
        {
            buf.Gauge("a", 1, Labels("x", "y"), "A.");
            buf.Reset();
            Equal(0, buf.Length, "length after reset");
            buf.Sample("x", 1);
            Equal("x 1\n", buf.ToString(), "text");
        }
    }

    private static void DisposedBuffer()
    {
        var buf = new MetricBuffer();
        using (buf)
            buf.Sample("m", 1);
        buf.Dispose();  // a second Dispose does nothing
        var calls = new Dictionary<string, Action>
        {
            { "Sample", () => buf.Sample("m", 1) },
            { "SampleJson", () => buf.SampleJson("m", 1, (string)null) },
            { "Help", () => buf.Help("m", "h") },
            { "Type", () => buf.Type("m", MetricType.Gauge) },
            { "Gauge", () => buf.Gauge("m", 1) },
            { "Counter", () => buf.Counter("m", 1) },
            { "Reset", () => buf.Reset() },
            { "Length", () => { int n = buf.Length; } },
            { "ToArray", () => buf.ToArray() },
            { "ToString", () => buf.ToString() },
        };
        foreach (var c in calls)
            Throws<ObjectDisposedException>(c.Value, c.Key);
    }

    private static void FinalizedBuffers()
    {
        // Abandoned buffers go to their SafeHandle's finalizer, which frees
        // them; a wrong free would crash or corrupt the heap here.
        for (int i = 0; i < 2000; i++)
            new MetricBuffer(4096).Sample("abandoned", i);
        GC.Collect();
        GC.WaitForPendingFinalizers();
        using (var buf = new MetricBuffer())
        {
            buf.Sample("after", 1);
            Equal("after 1\n", buf.ToString(), "text");
        }
    }

    private static void EscapeTable()
    {
        var cases = new Dictionary<string, string>
        {
            { "", "" }, { "plain", "plain" }, { "a\"b", "a\\\"b" }, { "a\\b", "a\\\\b" },
            { "a\nb", "a\\nb" }, { "t\u00e9\"", "t\u00e9\\\"" },
        };
        foreach (var c in cases)
            Equal(c.Value, LabelValue.Escape(c.Key), "escape of " + c.Key);
    }

    private static void ThreadsReadOwnMessage()
    {
        var cases = new[]
        {
            Tuple.Create<string, Action<MetricBuffer>>("invalid metric name",
                                                       b => b.Sample("1x", 1)),
            Tuple.Create<string, Action<MetricBuffer>>("failed to parse labels JSON",
                                                       b => b.SampleJson("m", 1, "{")),
            Tuple.Create<string, Action<MetricBuffer>>("labels JSON must be an object",
                                                       b => b.SampleJson("m", 1, "[]")),
            Tuple.Create<string, Action<MetricBuffer>>("invalid metric name for HELP emission",
                                                       b => b.Help("?", "h")),
        };
        var wrong = new List<string>();
        var threads = cases.Select(c => new Thread(() =>
        {
            using (var buf = new MetricBuffer())
            {
                for (int i = 0; i < 2000; i++)
                {
                    try
                    {
                        c.Item2(buf);
                    }
                    catch (PromfmtException e)
                    {
                        if (e.Message != c.Item1)
                            lock (wrong)
                                wrong.Add(c.Item1 + " read as " + e.Message);
                    }
                    buf.Sample("ok", 1);
                    buf.Reset();
                }
            }
        })).ToList();
        threads.ForEach(t => t.Start());
        threads.ForEach(t => t.Join());
        Equal(0, wrong.Count, "wrong messages (" + string.Join("; ", wrong.Take(3)) + ")");
    }

    private static void LoadedThroughSoname()
    {
        string libdir = Environment.GetEnvironmentVariable("PROMFMT_TEST_LIBDIR");
        if (string.IsNullOrEmpty(libdir) || !File.Exists("/proc/self/maps"))
            return;
        Equal(false, File.Exists(Path.Combine(libdir, "libvelkaron-prometheus-promfmt.so")),
              "a development symlink is present, so the test proves nothing");
        using (var buf = new MetricBuffer())
            buf.Sample("loaded", 1);
        var mapped = File.ReadAllLines("/proc/self/maps")
            .Select(line => line.Split(new[] { ' ' }, StringSplitOptions.RemoveEmptyEntries))
            .Where(f => f.Length >= 6 && f[5].Contains("libvelkaron-prometheus-promfmt"))
            .Select(f => f[5]).Distinct().ToList();
        string want = Path.GetFullPath(Path.Combine(libdir,
                                                    "libvelkaron-prometheus-promfmt.so.1"));
        Equal(want, string.Join(",", mapped), "mapped library");
    }
}
