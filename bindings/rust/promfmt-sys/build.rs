// SPDX-License-Identifier: MIT
//! Links the promfmt library, by one of two routes:
//!
//! - default: builds it from the repository's sources (three directories up)
//!   with CMake as a static archive, and links yyjson (found through
//!   pkg-config) and the C++ runtime beside it;
//! - feature `pkg-config`: links the installed shared library that
//!   `pkg-config promfmt` finds (set `PKG_CONFIG_PATH` for a non-system prefix).
//!
//! Neither route falls back to the other, so a build always says which one it took.
use std::env;
use std::path::PathBuf;

fn main() {
    if env::var_os("CARGO_FEATURE_PKG_CONFIG").is_some() {
        link_installed();
    } else {
        build_from_source();
    }
}

fn link_installed() {
    if let Err(e) = pkg_config::Config::new()
        .atleast_version("1.0")
        .probe("promfmt")
    {
        panic!(
            "promfmt-sys: the `pkg-config` feature is on, but no installed promfmt was found: {e}"
        );
    }
}

fn build_from_source() {
    let manifest = PathBuf::from(env::var_os("CARGO_MANIFEST_DIR").expect("set by cargo"));
    let root = manifest.join("../../..");
    assert!(
        root.join("include/promfmt.h").exists(),
        "promfmt-sys: no promfmt sources at {} (build from a checkout, or use the `pkg-config` feature)",
        root.display()
    );
    for path in ["CMakeLists.txt", "cmake", "src", "include"] {
        println!("cargo:rerun-if-changed={}", root.join(path).display());
    }
    let out = cmake::Config::new(&root)
        .define("BUILD_SHARED_LIBS", "OFF")
        .define("PROMFMT_BUILD_TESTS", "OFF")
        .define("PROMFMT_BUILD_EXAMPLES", "OFF")
        .define("PROMFMT_BUILD_DOCS", "OFF")
        .define("CMAKE_INSTALL_LIBDIR", "lib")
        .build();
    println!(
        "cargo:rustc-link-search=native={}",
        out.join("lib").display()
    );
    println!("cargo:rustc-link-lib=static=velkaron-prometheus-promfmt");
    if let Err(e) = pkg_config::probe_library("yyjson") {
        panic!("promfmt-sys: yyjson not found through pkg-config (install libyyjson-dev): {e}");
    }
    println!("cargo:rustc-link-lib=stdc++");
    println!("cargo:include={}", out.join("include").display());
}
