# SPDX-License-Identifier: MIT
# promfmt_skipped(WHAT SKIPPED PACKAGES): one status line for a missing
# optional tool, naming what is skipped and the Debian packages that bring it.
function(promfmt_skipped what skipped packages)
  message(STATUS "promfmt: ${what} not found: ${skipped} skipped (install ${packages})")
endfunction()

