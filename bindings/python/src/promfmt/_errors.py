# SPDX-License-Identifier: MIT
"""The one exception class of the package."""


class Error(Exception):
    """A call was refused.

    The message is the library's own last-error text (for example
    "invalid metric name") when the library refused the call, or the
    binding's explanation when it refused a value before calling (a label
    value that is not finite, a NUL character, a closed buffer, a library
    file that does not exist).
    """
