/* SPDX-License-Identifier: MIT */
#include "args.h"

#include <math.h>
#include <string.h>

#include "promfmt.h"

PyObject *promfmt_error;

static int keyword_index(PyObject *key, const char *const *names, int count)
{
    for (int i = 0; i < count; i++) {
        if (PyUnicode_CompareWithASCIIString(key, names[i]) == 0)
            return i;
    }
    return -1;
}

int parse_args(const char *fn, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
               const char *const *names, int count, int required, PyObject **out)
{
    if (nargs > count) {
        PyErr_Format(PyExc_TypeError, "%s() takes at most %d arguments (%zd given)", fn,
                     count, nargs);
        return -1;
    }
    for (int i = 0; i < count; i++)
        out[i] = i < nargs ? args[i] : NULL;
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; k++) {
        PyObject *key = PyTuple_GET_ITEM(kwnames, k);
        int i = keyword_index(key, names, count);
        if (i < 0) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument %R", fn, key);
            return -1;
        }
        if (out[i]) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", fn,
                         names[i]);
            return -1;
        }
        out[i] = args[nargs + k];
    }
    for (int i = 0; i < required; i++) {
        if (!out[i]) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s'", fn, names[i]);
            return -1;
        }
    }
    return 0;
}

const char *checked_utf8(PyObject *text, Py_ssize_t *len, const char *what, PyObject *key)
{
    const char *s = PyUnicode_AsUTF8AndSize(text, len);
    const char *problem = NULL;
    if (!s) {
        if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError))
            return NULL;
        PyErr_Clear();
        problem = "cannot be encoded as UTF-8 (lone surrogate)";
    } else if (memchr(s, '\0', (size_t)*len)) {
        problem = "contains a NUL character";
    }
    if (!problem)
        return s;
    PyObject *name = PyUnicode_FromFormat(what, key);
    if (name) {
        PyErr_Format(promfmt_error, "%U %s", name, problem);
        Py_DECREF(name);
    }
    return NULL;
}

const char *text_arg(PyObject *obj, const char *what, Py_ssize_t *len)
{
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s must be a str, not %.100s", what, Py_TYPE(obj)->tp_name);
        return NULL;
    }
    return checked_utf8(obj, len, what, NULL);
}

int optional_text_arg(PyObject *obj, const char *what, const char **out)
{
    Py_ssize_t len;
    *out = NULL;
    if (!obj || obj == Py_None)
        return 0;
    *out = text_arg(obj, what, &len);
    return *out ? 0 : -1;
}

int value_arg(PyObject *obj, double *out)
{
    if (PyFloat_CheckExact(obj)) {
        *out = PyFloat_AS_DOUBLE(obj);
        return 0;
    }
    if (PyUnicode_Check(obj) || PyBytes_Check(obj) || PyByteArray_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "value must be a real number, not %.100s",
                     Py_TYPE(obj)->tp_name);
        return -1;
    }
    *out = PyFloat_AsDouble(obj);
    if (*out == -1.0 && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError))
            return -1;
        PyErr_Clear();
        PyErr_SetString(promfmt_error, "value is too large for a double");
        return -1;
    }
    return 0;
}

int timestamp_arg(PyObject *obj, int64_t *out)
{
    *out = 0;
    if (!obj || obj == Py_None)
        return 0;
    PyObject *number = PyNumber_Index(obj);
    if (!number)
        return -1;
    int overflow;
    long long ms = PyLong_AsLongLongAndOverflow(number, &overflow);
    if (overflow)
        PyErr_Format(promfmt_error, "timestamp %S is out of range", number);
    Py_DECREF(number);
    if (overflow || (ms == -1 && PyErr_Occurred()))
        return -1;
    *out = ms;
    return 0;
}

int seconds_timestamp_arg(PyObject *obj, int64_t *out)
{
    *out = 0;
    if (obj == Py_None)
        return 0;
    double seconds = PyFloat_Check(obj) ? PyFloat_AS_DOUBLE(obj) : PyFloat_AsDouble(obj);
    if (seconds == -1.0 && PyErr_Occurred())
        return -1;
    double ms = trunc(seconds * 1000.0);
    if (!(ms > -9.2e18 && ms < 9.2e18)) {
        PyErr_Format(promfmt_error, "timestamp %R is out of range", obj);
        return -1;
    }
    *out = (int64_t)ms;
    return 0;
}

static const char *const KIND_NAMES[] = {"untyped", "counter", "gauge", "histogram", "summary"};

int kind_arg(PyObject *obj, int32_t *out)
{
    if (PyUnicode_Check(obj)) {
        PyObject *lower = PyObject_CallMethod(obj, "lower", NULL);
        if (!lower)
            return -1;
        int found = -1;
        for (int32_t i = 0; i < 5 && found < 0; i++) {
            if (PyUnicode_CompareWithASCIIString(lower, KIND_NAMES[i]) == 0)
                found = i;
        }
        Py_DECREF(lower);
        if (found < 0) {
            PyErr_Format(promfmt_error, "unknown metric type %R", obj);
            return -1;
        }
        *out = found;
        return 0;
    }
    PyObject *number = PyNumber_Index(obj);
    if (!number)
        return -1;
    int overflow;
    long long code = PyLong_AsLongLongAndOverflow(number, &overflow);
    int bad = overflow || code < INT32_MIN || code > INT32_MAX;
    if (bad && !PyErr_Occurred())
        PyErr_Format(promfmt_error, "metric type %S is out of range", number);
    Py_DECREF(number);
    if (bad || PyErr_Occurred())
        return -1;
    *out = (int32_t)code;
    return 0;
}

void raise_library_error(void)
{
    PyErr_SetString(promfmt_error, promfmt_last_error());
}
