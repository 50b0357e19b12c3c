# SPDX-License-Identifier: MIT
# The addon, with the library's sources compiled in (their list is every
# src/*.cpp, read by scripts/sources.js) and yyjson from the system.
{
  "targets": [
    {
      "target_name": "promfmt_library",
      "type": "static_library",
      "sources": ["<!@(node scripts/sources.js)"],
      "include_dirs": ["<!(node scripts/sources.js dir)/include"],
      "defines": ["PROMFMT_BUILDING", "PROMFMT_STATIC"],
      "cflags_cc!": ["-std=gnu++17", "-std=gnu++20"],
      "cflags_cc": ["-std=c++17", "-fno-exceptions", "-fno-rtti", "-fvisibility=hidden",
                    "-Wall", "-Wextra", "-fPIC"],
      "direct_dependent_settings": {
        "include_dirs": ["<!(node scripts/sources.js dir)/include"],
        "defines": ["PROMFMT_STATIC"]
      }
    },
    {
      "target_name": "promfmt",
      "sources": ["native/addon.cc", "native/writer.cc", "native/labels.cc",
                  "native/scrape.cc", "native/text.cc"],
      "dependencies": ["promfmt_library",
                       "<!(node -p \"require('node-addon-api').targets\"):node_addon_api"],
      "cflags_cc": ["-fvisibility=hidden", "-Wall", "-Wextra"],
      "libraries": ["-lyyjson"]
    }
  ]
}
