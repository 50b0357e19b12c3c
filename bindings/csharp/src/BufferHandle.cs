// SPDX-License-Identifier: MIT
using Microsoft.Win32.SafeHandles;

namespace Promfmt
{
    // Owns one promfmt_buffer_t; the runtime frees it exactly once, on
    // Dispose or, for a buffer that was never disposed, on finalization.
    internal sealed class BufferHandle : SafeHandleZeroOrMinusOneIsInvalid
    {
        private BufferHandle() : base(true)
        {
        }

        protected override bool ReleaseHandle()
        {
            NativeMethods.promfmt_buffer_free(handle);
            return true;
        }
    }
}
