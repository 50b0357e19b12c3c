/* SPDX-License-Identifier: MIT */
#include "labels.h"

#include <math.h>
#include <string.h>

#include "args.h"

void scratch_free(scratch_t *s)
{
    PyMem_Free(s->data);
    s->data = NULL;
    s->len = s->cap = 0;
}

/* Makes room for `more` bytes after the text, and its final NUL. */
static int reserve(scratch_t *s, size_t more)
{
    if (s->len + more + 1 <= s->cap)
        return 0;
    size_t cap = s->cap ? s->cap : 256;
    while (cap < s->len + more + 1) {
        if (cap > PY_SSIZE_T_MAX / 2) {
            PyErr_NoMemory();
            return -1;
        }
        cap *= 2;
    }
    char *data = PyMem_Realloc(s->data, cap);
    if (!data) {
        PyErr_NoMemory();
        return -1;
    }
    s->data = data;
    s->cap = cap;
    return 0;
}

static void put(scratch_t *s, const char *p, size_t n)
{
    memcpy(s->data + s->len, p, n);
    s->len += n;
}

/* A JSON string: quotes, backslash escapes, \u00XX for control bytes.
   Bytes from 0x80 up are valid UTF-8 (Python encoded them) and stay. */
static int put_string(scratch_t *s, const char *p, size_t n)
{
    static const char hex[] = "0123456789abcdef";
    if (n > (PY_SSIZE_T_MAX - 8) / 6) {
        PyErr_NoMemory();
        return -1;
    }
    if (reserve(s, 6 * n + 2) < 0)
        return -1;
    char *out = s->data + s->len;
    *out++ = '"';
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)p[i];
        if (c >= 0x20 && c != '"' && c != '\\') {
            *out++ = (char)c;
        } else if (c == '"' || c == '\\') {
            *out++ = '\\';
            *out++ = (char)c;
        } else {
            memcpy(out, "\\u00", 4);
            out[4] = hex[c >> 4];
            out[5] = hex[c & 15];
            out += 6;
        }
    }
    *out++ = '"';
    s->len = (size_t)(out - s->data);
    return 0;
}

/* An integer label value, written as a JSON string of all its digits. */
static int put_integer(scratch_t *s, PyObject *key, PyObject *value)
{
    PyObject *number = PyNumber_Index(value);
    if (!number)
        return -1;
    int overflow;
    long long small = PyLong_AsLongLongAndOverflow(number, &overflow);
    if (!overflow && !(small == -1 && PyErr_Occurred())) {
        Py_DECREF(number);
        char digits[24];
        int n = snprintf(digits, sizeof digits, "%lld", small);
        return put_string(s, digits, (size_t)n);
    }
    PyObject *text = PyErr_Occurred() ? NULL : PyObject_Str(number);
    Py_DECREF(number);
    if (!text) {
        if (PyErr_ExceptionMatches(PyExc_ValueError)) {
            PyErr_Clear();
            PyErr_Format(promfmt_error, "label %R: integer value has too many digits", key);
        }
        return -1;
    }
    Py_ssize_t len;
    const char *p = PyUnicode_AsUTF8AndSize(text, &len);
    int rc = p ? put_string(s, p, (size_t)len) : -1;
    Py_DECREF(text);
    return rc;
}

/* A float label value, as Python's repr writes it (locale-free): with its
   ".0", so that -0.0 stays a negative zero and not the integer 0. */
static int put_float(scratch_t *s, PyObject *key, PyObject *value)
{
    double d = PyFloat_AsDouble(value);
    if (d == -1.0 && PyErr_Occurred())
        return -1;
    if (!isfinite(d)) {
        PyErr_Format(promfmt_error, "label %R: value %R is not finite (JSON has no inf or nan)",
                     key, value);
        return -1;
    }
    char *text = PyOS_double_to_string(d, 'r', 0, Py_DTSF_ADD_DOT_0, NULL);
    if (!text)
        return -1;
    size_t n = strlen(text);
    int rc = reserve(s, n);
    if (rc == 0)
        put(s, text, n);
    PyMem_Free(text);
    return rc;
}

static int put_str_value(scratch_t *s, PyObject *key, PyObject *value)
{
    Py_ssize_t len;
    const char *p = checked_utf8(value, &len, "label %R: value", key);
    return p ? put_string(s, p, (size_t)len) : -1;
}

static int put_value(scratch_t *s, PyObject *key, PyObject *value)
{
    if (PyUnicode_Check(value))
        return put_str_value(s, key, value);
    if (s->str_values) {
        PyErr_Format(PyExc_TypeError, "label %R: value must be a str, not %.100s", key,
                     Py_TYPE(value)->tp_name);
        return -1;
    }
    if (PyBool_Check(value)) {
        const char *word = value == Py_True ? "true" : "false";
        if (reserve(s, 5) < 0)
            return -1;
        put(s, word, strlen(word));
        return 0;
    }
    if (PyLong_Check(value) || PyIndex_Check(value))
        return put_integer(s, key, value);
    if (PyFloat_Check(value) || (Py_TYPE(value)->tp_as_number &&
                                 Py_TYPE(value)->tp_as_number->nb_float))
        return put_float(s, key, value);
    PyErr_Format(promfmt_error,
                 "label %R: a %.100s cannot be a label value (use str, int, float or bool)", key,
                 Py_TYPE(value)->tp_name);
    return -1;
}

static int put_key(scratch_t *s, PyObject *key)
{
    if (!PyUnicode_Check(key)) {
        PyErr_Format(promfmt_error, "label name %R is not a str", key);
        return -1;
    }
    Py_ssize_t len;
    const char *p = checked_utf8(key, &len, "label name %R", key);
    return p ? put_string(s, p, (size_t)len) : -1;
}

/* One "key":value member, preceded by a comma unless it is the first. */
static int put_member(scratch_t *s, PyObject *key, PyObject *value)
{
    if (reserve(s, 1) < 0)
        return -1;
    if (s->len > 1)
        put(s, ",", 1);
    if (put_key(s, key) < 0 || reserve(s, 1) < 0)
        return -1;
    put(s, ":", 1);
    return put_value(s, key, value);
}

/* The members are held while they are converted: converting an unusual
   value runs Python code, which may change the dict. */
static int put_dict(scratch_t *s, PyObject *dict)
{
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(dict, &pos, &key, &value)) {
        Py_INCREF(key);
        Py_INCREF(value);
        int rc = put_member(s, key, value);
        Py_DECREF(key);
        Py_DECREF(value);
        if (rc < 0)
            return -1;
    }
    return 0;
}

static int put_pairs(scratch_t *s, PyObject *pairs)
{
    PyObject *seq = PySequence_Fast(pairs, "labels must be a mapping, a sequence of pairs or "
                                           "JSON text");
    if (!seq)
        return -1;
    int rc = 0;
    for (Py_ssize_t i = 0; rc == 0 && i < PySequence_Fast_GET_SIZE(seq); i++) {
        PyObject *pair = PySequence_Fast_GET_ITEM(seq, i);
        if (!(PyTuple_Check(pair) || PyList_Check(pair)) || PySequence_Fast_GET_SIZE(pair) != 2) {
            PyErr_Format(PyExc_TypeError, "labels pairs must be (name, value), not %.100s",
                         Py_TYPE(pair)->tp_name);
            rc = -1;
            break;
        }
        PyObject *key = PySequence_Fast_GET_ITEM(pair, 0);
        PyObject *value = PySequence_Fast_GET_ITEM(pair, 1);
        Py_INCREF(key);
        Py_INCREF(value);
        rc = put_member(s, key, value);
        Py_DECREF(key);
        Py_DECREF(value);
    }
    Py_DECREF(seq);
    return rc;
}

static int put_mapping(scratch_t *s, PyObject *mapping)
{
    PyObject *items = PyMapping_Items(mapping);
    if (!items)
        return -1;
    int rc = put_pairs(s, items);
    Py_DECREF(items);
    return rc;
}

static int text_labels(PyObject *labels, const char **json)
{
    if (PyUnicode_Check(labels)) {
        Py_ssize_t len;
        *json = text_arg(labels, "labels JSON", &len);
        return *json ? 0 : -1;
    }
    const char *p = PyBytes_Check(labels) ? PyBytes_AS_STRING(labels)
                                          : PyByteArray_AS_STRING(labels);
    Py_ssize_t len = PyBytes_Check(labels) ? PyBytes_GET_SIZE(labels)
                                           : PyByteArray_GET_SIZE(labels);
    if (memchr(p, '\0', (size_t)len)) {
        PyErr_SetString(promfmt_error, "labels JSON contains a NUL byte");
        return -1;
    }
    *json = p;
    return 0;
}

int labels_json(PyObject *labels, scratch_t *s, const char **json)
{
    *json = NULL;
    if (!labels || labels == Py_None)
        return 0;
    if (PyUnicode_Check(labels) || PyBytes_Check(labels) || PyByteArray_Check(labels))
        return text_labels(labels, json);
    s->len = 0;
    if (reserve(s, 2) < 0)
        return -1;
    put(s, "{", 1);
    int rc;
    if (PyDict_Check(labels))
        rc = put_dict(s, labels);
    else if (PyList_Check(labels) || PyTuple_Check(labels))
        rc = put_pairs(s, labels);
    else if (PyObject_HasAttrString(labels, "items"))
        rc = put_mapping(s, labels);
    else {
        PyErr_Format(PyExc_TypeError,
                     "labels must be a mapping, a sequence of pairs or JSON text, not %.100s",
                     Py_TYPE(labels)->tp_name);
        rc = -1;
    }
    if (rc < 0 || reserve(s, 1) < 0)
        return -1;
    put(s, "}", 1);
    s->data[s->len] = '\0';
    *json = s->data;
    return 0;
}
