// SPDX-License-Identifier: MIT
use std::fmt;

/// A refused call. Its message is the library's own text (for example
/// `invalid metric name` or `duplicate label name in JSON`), except for text
/// that cannot reach the library at all: a NUL byte inside a name, help text
/// or labels JSON text (`NUL byte in metric name`, ...).
#[derive(Debug, Clone, PartialEq, Eq)]
pub struct Error {
    message: String,
}

impl Error {
    pub(crate) fn new(message: String) -> Error {
        Error { message }
    }

    pub(crate) fn nul_byte(what: &str) -> Error {
        Error::new(format!("NUL byte in {what}"))
    }

    /// The message, lower case and without a full stop, as the library wrote it.
    pub fn message(&self) -> &str {
        &self.message
    }
}

impl fmt::Display for Error {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.write_str(&self.message)
    }
}

impl std::error::Error for Error {}

impl From<Error> for std::io::Error {
    fn from(e: Error) -> std::io::Error {
        std::io::Error::new(std::io::ErrorKind::InvalidInput, e)
    }
}
