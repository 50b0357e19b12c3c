// SPDX-License-Identifier: MIT
using System;

namespace Promfmt
{
    /// <summary>
    /// The library refused a call. The message is its last-error text, for
    /// example "invalid metric name", read right after the failing call.
    /// </summary>
    public sealed class PromfmtException : Exception
    {
        public PromfmtException(string message) : base(message)
        {
        }
    }
}
