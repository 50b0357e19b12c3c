// SPDX-License-Identifier: MIT
namespace Promfmt
{
    /// <summary>Metric kinds for MetricBuffer.Type; any other value writes "untyped".</summary>
    public enum MetricType
    {
        Untyped = 0,
        Counter = 1,
        Gauge = 2,
        Histogram = 3,
        Summary = 4,
    }
}
