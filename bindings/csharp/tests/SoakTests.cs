// SPDX-License-Identifier: MIT
// Soak: many scrapes through one reused buffer, then as many through a new
// buffer each (disposed after its scrape), with the process's resident
// memory and open descriptors flat after a warm-up tenth. Refused calls are
// mixed in. PROMFMT_SOAK_SCRAPES sets the number of scrapes (default
// 20000); each phase prints its figures.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;
using Promfmt;

internal static partial class BindingTests
{
    // Room for the runtime's and the allocators' own noise, far below what
    // a leak per scrape adds.
    private const long SoakAllowedGrowthKb = 4096;

    private static long ResidentKb()
    {
        GC.Collect();
        GC.WaitForPendingFinalizers();
        GC.Collect();
        string line = File.ReadAllLines("/proc/self/status").First(l => l.StartsWith("VmRSS:"));
        return long.Parse(line.Split(new[] { ' ', '\t' }, StringSplitOptions.RemoveEmptyEntries)[1]);
    }

    private static int OpenDescriptors()
    {
        return Directory.GetFileSystemEntries("/proc/self/fd").Length;
    }

    private static readonly KeyValuePair<string, string>[][] SoakPaths =
        new[] { "/", "/a\"b", "/c\\d\n" }
            .Select(p => new[] { Pair("path", p), Pair("code", "200") }).ToArray();
    private static readonly Dictionary<string, string> SoakQueue =
        new Dictionary<string, string> { { "queue", "mail" }, { "host", "a\tb" } };
    private static readonly byte[] SoakJson = Encoding.UTF8.GetBytes("{\"le\":\"+Inf\",\"x\":1}");
    private static readonly KeyValuePair<string, string>[] SoakDuplicate = { Pair("a", "1"), Pair("a", "2") };
    private static readonly KeyValuePair<string, string>[] SoakLone = { Pair("a", "\ud800") };

    private static void SoakScrape(MetricBuffer buf, int i, Stream copy)
    {
        buf.Help("soak_requests_total", "Requests, per \"code\".");
        buf.Type("soak_requests_total", MetricType.Counter);
        foreach (var labels in SoakPaths)
            buf.Sample("soak_requests_total", i, labels);
        buf.Gauge("soak_queue_length", 0.5, SoakQueue, "Jobs waiting.");
        buf.SampleJson("soak_json", 1e21, new ReadOnlySpan<byte>(SoakJson), i);
        Throws<PromfmtException>(() => buf.Sample("soak bad name", 1), "bad name");
        Throws<PromfmtException>(() => buf.Sample("soak_dup", 1, SoakDuplicate), "duplicate");
        Throws<ArgumentException>(() => buf.Sample("soak_lone", 1, SoakLone), "lone surrogate");
        copy.SetLength(0);
        buf.WriteTo(copy);
    }

    private static void Soak(string what, int scrapes, Action<int> scrape)
    {
        int warm = scrapes / 10;
        for (int i = 0; i < warm; i++)
            scrape(i);
        long rss = ResidentKb();
        int fds = OpenDescriptors();
        for (int i = warm; i < scrapes; i++)
            scrape(i);
        long rssEnd = ResidentKb();
        int fdsEnd = OpenDescriptors();
        Console.WriteLine("soak " + what + ": " + scrapes + " scrapes, RSS " + rss + " kB after " + warm +
                          ", " + rssEnd + " kB at the end; fds " + fds + " -> " + fdsEnd);
        if (rssEnd > rss + SoakAllowedGrowthKb)
            throw new Exception(what + ": RSS grew from " + rss + " to " + rssEnd + " kB");
        Equal(fds, fdsEnd, what + ": open descriptors");
    }

    private static void SoakStaysFlat()
    {
        int scrapes = FuzzSetting("PROMFMT_SOAK_SCRAPES", 20000);
        var last = new MemoryStream();
        using (var buf = new MetricBuffer())
        {
            Soak("reused buffer", scrapes, i =>
            {
                buf.Reset();
                SoakScrape(buf, i, last);
            });
        }
        byte[] reused = last.ToArray();
        Soak("a buffer per scrape", scrapes, i =>
        {
            using (var fresh = new MetricBuffer(64))
                SoakScrape(fresh, i, last);
        });
        Equal(Convert.ToBase64String(reused), Convert.ToBase64String(last.ToArray()), "the last scrapes");
    }
}
