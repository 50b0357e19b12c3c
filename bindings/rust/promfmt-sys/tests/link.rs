// SPDX-License-Identifier: MIT
//! The declarations match the library: one whole call sequence through the raw
//! functions, whichever route the build script linked.
use promfmt_sys::*;
use std::ffi::CStr;

#[test]
fn raw_calls_write_a_family_and_report_refusals() {
    // SAFETY: each pointer is a live NUL-terminated literal or the buffer made
    // here, which is freed once and not used after.
    unsafe {
        let buf = promfmt_buffer_create(0);
        assert!(!buf.is_null());
        assert_eq!(
            promfmt_emit_type(buf, c"up".as_ptr(), PROMFMT_TYPE_GAUGE),
            0
        );
        assert_eq!(
            promfmt_emit_sample(
                buf,
                c"up".as_ptr(),
                c"{\"b\":\"2\",\"a\":1}".as_ptr(),
                1.5,
                7
            ),
            0
        );
        assert_eq!(
            promfmt_emit_sample(buf, c"9up".as_ptr(), std::ptr::null(), 1.0, 0),
            -1
        );
        assert_eq!(
            CStr::from_ptr(promfmt_last_error()).to_bytes(),
            b"invalid metric name"
        );
        let text = std::slice::from_raw_parts(
            promfmt_buffer_data(buf).cast::<u8>(),
            promfmt_buffer_len(buf),
        );
        assert_eq!(text, b"# TYPE up gauge\nup{a=\"1\",b=\"2\"} 1.5 7\n");
        promfmt_buffer_free(buf);
    }
}
