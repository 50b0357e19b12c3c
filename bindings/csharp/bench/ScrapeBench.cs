// SPDX-License-Identifier: MIT
// Times scrapes written through the C# binding and counts the managed bytes
// they allocate. One scrape resets a reused MetricBuffer and writes, per
// family, its HELP and TYPE lines and one sample line per series, the labels
// given in one of three forms, each a writer of its own:
//   csharp       a KeyValuePair<string, string>[] per series
//   csharp_dict  a Dictionary<string, string> per series
//   csharp_json  the labels' JSON text per series, built beforehand
// Time is the process's CPU time; bytes come from
// GC.GetAllocatedBytesForCurrentThread over the timed scrapes.
//
// usage: ScrapeBench.exe [--dir DIR [--workloads a,b]] [--min-time S]
//                        [--seed N] [--out DIR --round N]
//        ScrapeBench.exe --dir DIR --dump ID
// Without --dir, times the standard scrape (1000 gauge families x 10 series
// x 3 labels) built in memory and prints one line per writer. With --dir,
// reads the workloads written by promfmt_bench_scrape --write-workloads;
// with --out, writes DIR/rN-WRITER.json per writer, else prints the JSON.
using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;
using Promfmt;

internal sealed class Series
{
    public double Value;
    public KeyValuePair<string, string>[] Pairs;
    public Dictionary<string, string> Dictionary;
    public string Json;
}

internal sealed class Family
{
    public string Name, Help;
    public List<Series> Series = new List<Series>();
}

internal static class ScrapeBench
{
    private static readonly string[] Writers = { "csharp", "csharp_dict", "csharp_json" };

    private static int Main(string[] argv)
    {
        var args = Options(argv);
        double minTime = double.Parse(Get(args, "min-time", "0.1"), CultureInfo.InvariantCulture);
        string dir = Get(args, "dir", null);
        if (dir == null)
            return Standalone(minTime);
        var index = File.ReadAllLines(Path.Combine(dir, "index.txt"))
            .Where(l => l.Trim().Length > 0).Select(l => l.Split('\t')).ToList();
        if (args.ContainsKey("dump"))
            return Dump(Path.Combine(dir, index.Single(row => row[0] == args["dump"])[1]));
        var wanted = Get(args, "workloads", "");
        var todo = index.Where(row => row[0] != "check" &&
                                      (wanted == "" || wanted.Split(',').Contains(row[0])));
        var results = Workloads(dir, todo, int.Parse(Get(args, "seed", "1"), CultureInfo.InvariantCulture), minTime);
        foreach (var writer in Writers)
            Report(args, writer, results[writer]);
        return 0;
    }

    // Every workload, in an order drawn from the seed, each timed with the
    // writers in a fresh order; the JSON results per writer.
    private static Dictionary<string, List<string>> Workloads(
        string dir, IEnumerable<string[]> todo, int seed, double minTime)
    {
        var rng = new Random(seed);
        var results = Writers.ToDictionary(w => w, w => new List<string>());
        foreach (var row in todo.OrderBy(row => rng.Next()).ToList())
        {
            var families = Load(Path.Combine(dir, row[1]));
            foreach (string writer in Writers.OrderBy(w => rng.Next()).ToList())
                results[writer].Add(Measure(families, writer, minTime).Json(row[0]));
        }
        return results;
    }

    private static int Dump(string path)
    {
        using (var buf = new MetricBuffer())
        using (var stdout = Console.OpenStandardOutput())
        {
            Scrape(buf, Load(path), "csharp");
            buf.WriteTo(stdout);
        }
        return 0;
    }

    private static int Standalone(double minTime)
    {
        var families = Standard();
        foreach (var writer in Writers)
        {
            var m = Measure(families, writer, minTime);
            Console.WriteLine("{0,-12} standard scrape: {1,7:F1} ns/sample, {2:F2} managed bytes/sample, "
                              + "{3} GC collections in {4} scrapes ({5})", writer, m.NsPerSample,
                              m.BytesPerSample, m.Collections, m.Scrapes, Runtime());
        }
        return 0;
    }

    private sealed class Measurement
    {
        public double NsPerSample, BytesPerSample;
        public int Collections, Scrapes, Samples;

        public string Json(string workload)
        {
            return string.Format(CultureInfo.InvariantCulture,
                "{{\"workload\": \"{0}\", \"ns_per_sample\": {1:R}, \"bytes_per_sample\": {2:R}, " +
                "\"gc_collections\": {3}, \"iterations\": {4}, \"samples\": {5}}}",
                workload, NsPerSample, BytesPerSample, Collections, Scrapes, Samples);
        }
    }

    // Batches of scrapes, each batch larger, until one takes minTime of CPU.
    private static Measurement Measure(List<Family> families, string writer, double minTime)
    {
        int samples = families.Sum(f => f.Series.Count);
        using (var buf = new MetricBuffer())
        {
            for (int i = 0; i < 2; i++)
                Scrape(buf, families, writer);
            GC.Collect();
            for (int n = 1; ; )
            {
                int gcs = GC.CollectionCount(0);
                long bytes = GC.GetAllocatedBytesForCurrentThread();
                double start = CpuSeconds();
                for (int i = 0; i < n; i++)
                    Scrape(buf, families, writer);
                double spent = CpuSeconds() - start;
                bytes = GC.GetAllocatedBytesForCurrentThread() - bytes;
                if (spent >= minTime || n >= 1 << 24)
                    return new Measurement
                    {
                        NsPerSample = spent * 1e9 / ((double)n * samples),
                        BytesPerSample = (double)bytes / ((double)n * samples),
                        Collections = GC.CollectionCount(0) - gcs, Scrapes = n, Samples = samples,
                    };
                n = spent > 0 ? (int)Math.Min(n * 10.0, Math.Max(n + 1.0, n * 1.4 * minTime / spent))
                              : n * 10;
            }
        }
    }

    private static void Scrape(MetricBuffer buf, List<Family> families, string writer)
    {
        buf.Reset();
        for (int f = 0; f < families.Count; f++)
        {
            var family = families[f];
            buf.Help(family.Name, family.Help);
            buf.Type(family.Name, MetricType.Gauge);
            var series = family.Series;
            if (writer == "csharp")
            {
                for (int s = 0; s < series.Count; s++)
                    buf.Sample(family.Name, series[s].Value, series[s].Pairs);
            }
            else if (writer == "csharp_dict")
            {
                for (int s = 0; s < series.Count; s++)
                    buf.Sample(family.Name, series[s].Value, series[s].Dictionary);
            }
            else
            {
                for (int s = 0; s < series.Count; s++)
                    buf.SampleJson(family.Name, series[s].Value, series[s].Json);
            }
        }
    }

    // Lines "F<TAB>name<TAB>help" and "S<TAB>value(<TAB>label<TAB>value)*".
    private static List<Family> Load(string path)
    {
        var families = new List<Family>();
        foreach (var line in File.ReadLines(path, Encoding.UTF8))
        {
            var f = line.Split('\t');
            if (f[0] == "F")
                families.Add(new Family { Name = f[1], Help = f[2] });
            else if (f[0] == "S")
                families[families.Count - 1].Series.Add(MakeSeries(
                    double.Parse(f[1], CultureInfo.InvariantCulture),
                    Enumerable.Range(0, (f.Length - 2) / 2)
                        .Select(i => new KeyValuePair<string, string>(f[2 + 2 * i], f[3 + 2 * i]))));
        }
        return families;
    }

    // The standard scrape: 1000 gauge families x 10 series x 3 labels.
    private static List<Family> Standard()
    {
        var rng = new Random(1);
        var families = new List<Family>();
        for (int f = 0; f < 1000; f++)
        {
            var family = new Family { Name = "bench_metric_" + f, Help = "Benchmark family " + f + "." };
            for (int s = 0; s < 10; s++)
                family.Series.Add(MakeSeries(rng.Next(100000000) / 1e4,
                    new[] { "zone", "service", "region" }.Select(name =>
                        new KeyValuePair<string, string>(name, "value-" + rng.Next(100000)))));
            families.Add(family);
        }
        return families;
    }

    private static Series MakeSeries(double value, IEnumerable<KeyValuePair<string, string>> labels)
    {
        var pairs = labels.ToArray();
        return new Series
        {
            Value = value, Pairs = pairs, Dictionary = pairs.ToDictionary(p => p.Key, p => p.Value),
            Json = "{" + string.Join(",", pairs.Select(p => Quote(p.Key) + ":" + Quote(p.Value))) + "}",
        };
    }

    // Workload names and values hold no control characters.
    private static string Quote(string text)
    {
        return "\"" + text.Replace("\\", "\\\\").Replace("\"", "\\\"") + "\"";
    }

    private static void Report(Dictionary<string, string> args, string writer, List<string> results)
    {
        string json = "{\"writer\": \"" + writer + "\", \"runtime\": \"" + Runtime() +
                      "\", \"results\": [\n  " + string.Join(",\n  ", results) + "]}\n";
        if (!args.ContainsKey("out"))
            Console.Write(json);
        else
            File.WriteAllText(Path.Combine(args["out"], "r" + args["round"] + "-" + writer + ".json"),
                              json);
    }

    private static string Runtime()
    {
        var display = Type.GetType("Mono.Runtime")?.GetMethod(
            "GetDisplayName", System.Reflection.BindingFlags.NonPublic |
                              System.Reflection.BindingFlags.Static);
        return display != null ? "Mono " + ((string)display.Invoke(null, null)).Split(' ')[0]
                               : ".NET " + Environment.Version;
    }

    private struct Timespec
    {
        public long Seconds, Nanoseconds;
    }

    [DllImport("libc")]
    private static extern int clock_gettime(int clock, out Timespec time);

    private static double CpuSeconds()
    {
        const int processCpuTime = 2;  // CLOCK_PROCESS_CPUTIME_ID on Linux
        Timespec t;
        if (clock_gettime(processCpuTime, out t) != 0)
            throw new InvalidOperationException("clock_gettime failed");
        return t.Seconds + t.Nanoseconds * 1e-9;
    }

    private static Dictionary<string, string> Options(string[] argv)
    {
        var args = new Dictionary<string, string>();
        for (int i = 0; i + 1 < argv.Length; i += 2)
        {
            if (!argv[i].StartsWith("--"))
                throw new ArgumentException("unexpected argument " + argv[i]);
            args[argv[i].Substring(2)] = argv[i + 1];
        }
        return args;
    }

    private static string Get(Dictionary<string, string> args, string key, string fallback)
    {
        string value;
        return args.TryGetValue(key, out value) ? value : fallback;
    }
}
