// SPDX-License-Identifier: MIT
// A seeded random differential run of the binding's unsafe UTF-8 code
// (Utf8Writer) and its label writers: labels as arrays, Lists, Dictionaries
// and other lists, against the same sample given as JSON bytes that
// .NET's strict UTF8Encoding encoded from JSON text escaped here (the
// library's JSON-text route); help texts and escaped label values against
// the text the rules give. Names and values of every length and char: lone
// surrogates, NUL, escapes, every plane. PROMFMT_FUZZ_CASES sets the number
// of cases (default 20000), PROMFMT_FUZZ_SEED the seed.
using System;
using System.Collections.Generic;
using System.Linq;
using System.Text;
using Promfmt;

internal static partial class BindingTests
{
    private static readonly UTF8Encoding StrictUtf8 = new UTF8Encoding(false, true);

    private static int FuzzSetting(string name, int fallback)
    {
        int n;
        return int.TryParse(Environment.GetEnvironmentVariable(name), out n) ? n : fallback;
    }

    private static readonly char[] SpecialChars =
    {
        '"', '\\', '\n', '\t', '\r', '\0', '\u0001', '\u001f', ' ', '\u007f', '\u0080', '\u07ff',
        '\u0800', '\ufffd', '\uffff', '\ud800', '\udbff', '\udc00', '\udfff', '{', ':', ',',
    };

    private static string RandomText(Random rng, bool plain)
    {
        int pick = rng.Next(10), n = pick < 7 ? rng.Next(20) : pick < 9 ? rng.Next(80) : rng.Next(700);
        var s = new StringBuilder();
        if (plain)
            s.Append('x');
        while (s.Length < n)
        {
            int kind = plain ? 0 : rng.Next(10);
            if (kind < 6)
                s.Append("abcxyzABZ_0189"[rng.Next(14)]);
            else if (kind < 8)
                s.Append(SpecialChars[rng.Next(SpecialChars.Length)]);
            else if (kind < 9)
                s.Append((char)rng.Next(0x10000));
            else
                s.Append(char.ConvertFromUtf32(rng.Next(0x10000, 0x110000)));
        }
        return s.ToString();
    }

    // The inside of a JSON string, escaped one char at a time.
    private static string JsonString(string s)
    {
        var json = new StringBuilder("\"");
        foreach (char c in s)
        {
            if (c == '"' || c == '\\')
                json.Append('\\').Append(c);
            else if (c < 0x20)
                json.Append("\\u").Append(((int)c).ToString("x4"));
            else
                json.Append(c);
        }
        return json.Append('"').ToString();
    }

    // The labels as the host hands them: an array, a List, a Dictionary or
    // another IReadOnlyList, and JSON's bytes for the same labels (null when
    // .NET's strict encoder refuses the text).
    private static void RandomLabels(Random rng, out KeyValuePair<string, string>[] pairs,
                                     out byte[] json)
    {
        int n = new[] { 0, 1, 1, 2, 3, 5, 9 }[rng.Next(7)];
        pairs = new KeyValuePair<string, string>[n];
        for (int i = 0; i < n; i++)
            pairs[i] = new KeyValuePair<string, string>(RandomText(rng, rng.Next(4) != 0),
                                                        RandomText(rng, rng.Next(3) != 0));
        string text = "{" + string.Join(",", pairs.Select(p => JsonString(p.Key) + ":" +
                                                              JsonString(p.Value))) + "}";
        try
        {
            json = StrictUtf8.GetBytes(text);
        }
        catch (EncoderFallbackException)
        {
            json = null;
        }
    }

    private sealed class PairList : IReadOnlyList<KeyValuePair<string, string>>
    {
        private readonly KeyValuePair<string, string>[] pairs;

        internal PairList(KeyValuePair<string, string>[] pairs)
        {
            this.pairs = pairs;
        }

        public KeyValuePair<string, string> this[int i] { get { return pairs[i]; } }

        public int Count { get { return pairs.Length; } }

        public IEnumerator<KeyValuePair<string, string>> GetEnumerator()
        {
            return ((IEnumerable<KeyValuePair<string, string>>)pairs).GetEnumerator();
        }

        System.Collections.IEnumerator System.Collections.IEnumerable.GetEnumerator()
        {
            return GetEnumerator();
        }
    }

    // Runs a call; the type of what it threw, or null.
    private static Type Outcome(Action call)
    {
        try
        {
            call();
            return null;
        }
        catch (Exception e)
        {
            return e.GetType();
        }
    }

    private static void FuzzLabelsAgainstJsonRoute()
    {
        int seed = FuzzSetting("PROMFMT_FUZZ_SEED", 20261211), cases = FuzzSetting("PROMFMT_FUZZ_CASES", 20000);
        var rng = new Random(seed);
        using (var got = new MetricBuffer())
        using (var want = new MetricBuffer())
        {
            for (int i = 0; i < cases; i++)
            {
                KeyValuePair<string, string>[] pairs;
                byte[] json;
                RandomLabels(rng, out pairs, out json);
                string name = RandomText(rng, rng.Next(8) != 0);
                string what = "case " + i + " of seed " + seed + ": " + name + " " +
                              string.Join(",", pairs.Select(p => JsonString(p.Key) + "=" + JsonString(p.Value)));
                Type expected = json == null || pairs.Any(p => (p.Key + p.Value).IndexOf('\0') >= 0)
                    ? typeof(ArgumentException)
                    : Outcome(() => want.SampleJson(name, 1.5, new ReadOnlySpan<byte>(json)));
                byte[] before = got.ToArray();
                Type outcome = Outcome(() => SampleAs(got, i % 4, name, pairs));
                Equal(expected, outcome, what);
                if (outcome != null)
                    Equal(Convert.ToBase64String(before), Convert.ToBase64String(got.ToArray()),
                          what + ": a refusal changed the text");
                Equal(Convert.ToBase64String(want.ToArray()), Convert.ToBase64String(got.ToArray()), what);
                if (i % 512 == 511)
                {
                    got.Reset();
                    want.Reset();
                }
            }
        }
    }

    // One sample with the labels in the form given by shape.
    private static void SampleAs(MetricBuffer buf, int shape, string name,
                                 KeyValuePair<string, string>[] pairs)
    {
        bool unique = pairs.Select(p => p.Key).Distinct().Count() == pairs.Length;
        if (shape == 0)
            buf.Sample(name, 1.5, pairs);
        else if (shape == 1)
            buf.Sample(name, 1.5, pairs.ToList());
        else if (shape == 2 && unique)
            buf.Sample(name, 1.5, pairs.ToDictionary(p => p.Key, p => p.Value));
        else
            buf.Sample(name, 1.5, new PairList(pairs));
    }

    private static void FuzzTextsAgainstTheRules()
    {
        int seed = FuzzSetting("PROMFMT_FUZZ_SEED", 20261211) + 1, cases = FuzzSetting("PROMFMT_FUZZ_CASES", 20000);
        var rng = new Random(seed);
        using (var buf = new MetricBuffer())
        {
            for (int i = 0; i < cases / 2; i++)
            {
                string text = RandomText(rng, false);
                string what = "case " + i + " of seed " + seed + ": " + JsonString(text);
                byte[] utf8 = null;
                try
                {
                    utf8 = StrictUtf8.GetBytes(text);
                }
                catch (EncoderFallbackException)
                {
                }
                bool refused = utf8 == null || text.IndexOf('\0') >= 0;
                string escaped = text.Replace("\\", "\\\\").Replace("\n", "\\n");
                buf.Reset();
                Equal(refused ? typeof(ArgumentException) : null, Outcome(() => buf.Help("m", text)), what);
                if (!refused)
                    Equal(Convert.ToBase64String(StrictUtf8.GetBytes("# HELP m " + escaped + "\n")),
                          Convert.ToBase64String(buf.ToArray()), what);
                string value = null;
                Equal(refused ? typeof(ArgumentException) : null,
                      Outcome(() => value = LabelValue.Escape(text)), what);
                if (!refused)
                    Equal(escaped.Replace("\"", "\\\""), value, what);
            }
        }
    }
}
