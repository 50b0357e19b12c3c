// SPDX-License-Identifier: MIT
// A whole exporter: counts jobs on worker threads and serves /metrics with
// HttpListener, writing each scrape into one reused MetricBuffer.
//   mono Exporter.exe [http://localhost:9184/]   serve until stopped
//   mono Exporter.exe --print                    print one scrape and exit
using System;
using System.Collections.Generic;
using System.IO;
using System.Net;
using System.Threading;
using Promfmt;

internal static class Exporter
{
    // Labels made once per series: writing them allocates nothing.
    private static readonly KeyValuePair<string, string>[][] Queues =
    {
        new[] { new KeyValuePair<string, string>("queue", "mail") },
        new[] { new KeyValuePair<string, string>("queue", "sms") },
    };
    private static readonly Dictionary<string, string> Build = new Dictionary<string, string>
    {
        ["version"] = "1.4.2",
        ["runtime"] = Environment.Version.ToString(),
    };
    private static readonly long[] Done = new long[2];
    private static readonly long Started = DateTimeOffset.UtcNow.ToUnixTimeSeconds();

    private static int Main(string[] args)
    {
        for (int q = 0; q < Queues.Length; q++)
            StartWorker(q);
        using (var buffer = new MetricBuffer(64 * 1024))
        {
            if (args.Length > 0 && args[0] == "--print")
            {
                Scrape(buffer);
                using (var stdout = Console.OpenStandardOutput())
                    buffer.WriteTo(stdout);
                return 0;
            }
            Serve(buffer, args.Length > 0 ? args[0] : "http://localhost:9184/");
        }
        return 0;
    }

    private static void StartWorker(int queue)
    {
        var worker = new Thread(() =>
        {
            while (true)
            {
                Interlocked.Increment(ref Done[queue]);
                Thread.Sleep(10);
            }
        });
        worker.IsBackground = true;
        worker.Start();
    }

    private static void Serve(MetricBuffer buffer, string prefix)
    {
        using (var listener = new HttpListener())
        {
            listener.Prefixes.Add(prefix);
            listener.Start();
            while (true)
            {
                HttpListenerResponse response = listener.GetContext().Response;
                try
                {
                    Scrape(buffer);
                    response.ContentType = "text/plain; version=0.0.4; charset=utf-8";
                    response.ContentLength64 = buffer.Length;
                    buffer.WriteTo(response.OutputStream);
                }
                catch (PromfmtException e)
                {
                    // The library's own message, e.g. "invalid metric name".
                    response.StatusCode = 500;
                    using (var body = new StreamWriter(response.OutputStream))
                        body.Write("scrape failed: " + e.Message);
                }
                response.Close();
            }
        }
    }

    // One scrape: the buffer's memory is kept from the last one.
    private static void Scrape(MetricBuffer buf)
    {
        buf.Reset();
        buf.Help("jobs_done_total", "Jobs finished, per queue.");
        buf.Type("jobs_done_total", MetricType.Counter);
        for (int q = 0; q < Queues.Length; q++)
            buf.Sample("jobs_done_total", Interlocked.Read(ref Done[q]), Queues[q]);
        buf.Gauge("process_start_time_seconds", Started, "Start time of the process since the epoch.");
        buf.Gauge("exporter_build_info", 1, Build, "Version of the exporter.");
    }
}
