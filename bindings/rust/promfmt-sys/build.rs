// SPDX-License-Identifier: MIT
//! Links the promfmt library, by one of two routes:
//!
//! - default: builds it with CMake as a static archive from the library's
//!   sources (staged into the packaged crate, or the checkout three
//!   directories up), and links yyjson (found through pkg-config, or else
//!   built from source into the archive) and the C++ runtime beside it;
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
    let root = library_sources();
    for path in ["CMakeLists.txt", "cmake", "src", "include"] {
        println!("cargo:rerun-if-changed={}", root.join(path).display());
    }
    for var in ["PROMFMT_YYJSON", "PROMFMT_YYJSON_SOURCE", "PROMFMT_YYJSON_SHA256"] {
        println!("cargo:rerun-if-env-changed={var}");
    }
    let system_yyjson = system_yyjson();
    let route = if system_yyjson.is_some() { "SYSTEM" } else { "SOURCE" };
    let out = cmake::Config::new(&root)
        .define("BUILD_SHARED_LIBS", "OFF")
        .define("PROMFMT_BUILD_TESTS", "OFF")
        .define("PROMFMT_BUILD_EXAMPLES", "OFF")
        .define("PROMFMT_BUILD_DOCS", "OFF")
        .define("PROMFMT_YYJSON", route)
        .define("CMAKE_INSTALL_LIBDIR", "lib")
        .build();
    println!(
        "cargo:rustc-link-search=native={}",
        out.join("lib").display()
    );
    println!("cargo:rustc-link-lib=static=velkaron-prometheus-promfmt");
    // After the archive, so that the linker still wants yyjson when it reads it.
    if let Some(yyjson) = system_yyjson {
        for dir in &yyjson.link_paths {
            println!("cargo:rustc-link-search=native={}", dir.display());
        }
        for lib in &yyjson.libs {
            println!("cargo:rustc-link-lib={lib}");
        }
    }
    println!("cargo:rustc-link-lib=stdc++");
    println!("cargo:include={}", out.join("include").display());
}

/// The library's CMake project: staged into the packaged crate as
/// `promfmt-src` (scripts/package.sh), or the checkout three directories up.
fn library_sources() -> PathBuf {
    let manifest = PathBuf::from(env::var_os("CARGO_MANIFEST_DIR").expect("set by cargo"));
    let root = [manifest.join("promfmt-src"), manifest.join("../../..")]
        .into_iter()
        .find(|dir| dir.join("include/promfmt.h").exists());
    root.unwrap_or_else(|| {
        panic!(
            "promfmt-sys: no promfmt sources in {} (build from a checkout or a packaged crate, \
             or use the `pkg-config` feature)",
            manifest.display()
        )
    })
}

/// yyjson 0.12.0 from pkg-config, unless PROMFMT_YYJSON=SOURCE asks for it
/// to be built from source. Without it, CMake builds yyjson from the source
/// PROMFMT_YYJSON_SOURCE names (a folder, or an archive file or URL with
/// PROMFMT_YYJSON_SHA256), by default yyjson's release archive, and compiles
/// it into the library.
fn system_yyjson() -> Option<pkg_config::Library> {
    if env::var("PROMFMT_YYJSON").as_deref() == Ok("SOURCE") {
        return None;
    }
    pkg_config::Config::new()
        .exactly_version("0.12.0")
        .cargo_metadata(false)
        .probe("yyjson")
        .ok()
}
