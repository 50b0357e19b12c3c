/* SPDX-License-Identifier: MIT */
/* Python arguments turned into the C values the library takes. Every
   function returns 0 (or a pointer) on success and -1 (or NULL) with a
   Python exception set: TypeError for a wrong type, promfmt.Error for a
   value the binding refuses before calling the library. */
#ifndef PROMFMT_PY_ARGS_H
#define PROMFMT_PY_ARGS_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stdint.h>

/* promfmt.Error, set up by the module before any call. */
extern PyObject *promfmt_error;

/* Fills out[i] (borrowed) from positional and keyword arguments named
   names[0..count-1]; missing optional ones stay NULL. The first `required`
   must be given. */
int parse_args(const char *fn, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
               const char *const *names, int count, int required, PyObject **out);

/* The UTF-8 text of a str (owned by it); a lone surrogate or a NUL
   character is refused with a message naming the text as
   PyUnicode_FromFormat(what, key) writes it. */
const char *checked_utf8(PyObject *text, Py_ssize_t *len, const char *what, PyObject *key);

/* The UTF-8 text of a str argument, owned by the str; a NUL character or a lone
   surrogate is refused. `what` names the argument in messages. */
const char *text_arg(PyObject *obj, const char *what, Py_ssize_t *len);

/* As text_arg(), but None (or a missing argument) gives NULL, the C NULL. */
int optional_text_arg(PyObject *obj, const char *what, const char **out);

/* A sample value as a double: any real number. */
int value_arg(PyObject *obj, double *out);

/* Milliseconds since the epoch; None or missing gives 0. */
int timestamp_arg(PyObject *obj, int64_t *out);

/* A prometheus_client timestamp (seconds, a float, int or Timestamp;
   None gives 0) as whole milliseconds, truncated as that client does. */
int seconds_timestamp_arg(PyObject *obj, int64_t *out);

/* A metric kind: a MetricType, its code (any 32-bit value) or its name. */
int kind_arg(PyObject *obj, int32_t *out);

/* Raises promfmt.Error with the library's last-error text. */
void raise_library_error(void);

#endif
