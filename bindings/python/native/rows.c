/* SPDX-License-Identifier: MIT */
/* The batch methods: many sample lines in one call, the loop in C. */
#include "args.h"
#include "buffer.h"

int write_sample(BufferObject *self, const char *name, PyObject *labels, double value,
                        int64_t ts)
{
    const char *json;
    if (labels_json(labels, &self->labels, &json) < 0)
        return -1;
    if (promfmt_emit_sample(self->buf, name, json, value, ts) < 0) {
        raise_library_error();
        return -1;
    }
    return 0;
}

/* The items of a row that must be a tuple or list of `lo` to `hi` items. */
static PyObject **row_items(PyObject *row, Py_ssize_t lo, Py_ssize_t hi, const char *shape,
                            Py_ssize_t *n)
{
    if (PyTuple_Check(row)) {
        *n = PyTuple_GET_SIZE(row);
        if (*n >= lo && *n <= hi)
            return &PyTuple_GET_ITEM(row, 0);
    } else if (PyList_Check(row)) {
        *n = PyList_GET_SIZE(row);
        if (*n >= lo && *n <= hi)
            return &PyList_GET_ITEM(row, 0);
    }
    PyErr_Format(PyExc_TypeError, "rows must be %s, not %.100s", shape, Py_TYPE(row)->tp_name);
    return NULL;
}

/* Runs write_row on every row of an iterable; the row is held while it is
   written (writing it may run Python code that drops it elsewhere). */
typedef int (*row_fn)(BufferObject *self, PyObject *row, const char *name);

static int each_row(BufferObject *self, PyObject *rows, row_fn write_row, const char *name)
{
    PyObject *it = PyObject_GetIter(rows);
    if (!it)
        return -1;
    PyObject *row;
    int rc = 0;
    while (rc == 0 && (row = PyIter_Next(it))) {
        rc = write_row(self, row, name);
        Py_DECREF(row);
    }
    Py_DECREF(it);
    return rc < 0 || PyErr_Occurred() ? -1 : 0;
}

static int family_row(BufferObject *self, PyObject *row, const char *name)
{
    Py_ssize_t n;
    PyObject **item = row_items(row, 2, 3, "(labels, value) or (labels, value, timestamp)", &n);
    double value;
    int64_t ts;
    if (!item || value_arg(item[1], &value) < 0 || timestamp_arg(n > 2 ? item[2] : NULL, &ts) < 0)
        return -1;
    return write_sample(self, name, item[0], value, ts);
}

static int named_row(BufferObject *self, PyObject *row, const char *unused)
{
    (void)unused;
    Py_ssize_t n, len;
    PyObject **item = row_items(row, 3, 4, "(name, labels, value) or "
                                           "(name, labels, value, timestamp)", &n);
    const char *name;
    double value;
    int64_t ts;
    if (!item || !(name = text_arg(item[0], "name", &len)) || value_arg(item[2], &value) < 0 ||
        timestamp_arg(n > 3 ? item[3] : NULL, &ts) < 0)
        return -1;
    return write_sample(self, name, item[1], value, ts);
}

static int metadata(BufferObject *self, const char *name, const char *help, int32_t kind)
{
    if ((help && promfmt_emit_help(self->buf, name, help) < 0) ||
        promfmt_emit_type(self->buf, name, (promfmt_metric_type_t)kind) < 0) {
        raise_library_error();
        return -1;
    }
    return 0;
}

PyObject *buffer_family(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                        PyObject *kwnames)
{
    static const char *const names[] = {"name", "kind", "rows", "help"};
    PyObject *a[4];
    const char *name, *help;
    Py_ssize_t len;
    int32_t kind;
    PyObject *it;
    if (parse_args("family", args, nargs, kwnames, names, 4, 3, a) < 0 ||
        !(name = text_arg(a[0], "name", &len)) || kind_arg(a[1], &kind) < 0 ||
        optional_text_arg(a[3], "help text", &help) < 0 || !(it = PyObject_GetIter(a[2])))
        return NULL;
    if (buffer_enter(self) < 0) {
        Py_DECREF(it);
        return NULL;
    }
    int rc = metadata(self, name, help, kind);
    if (rc == 0)
        rc = each_row(self, it, family_row, name);
    Py_DECREF(it);
    return buffer_done(self, rc);
}

PyObject *buffer_samples(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                         PyObject *kwnames)
{
    static const char *const names[] = {"rows"};
    PyObject *rows;
    if (parse_args("samples", args, nargs, kwnames, names, 1, 1, &rows) < 0 ||
        buffer_enter(self) < 0)
        return NULL;
    return buffer_done(self, each_row(self, rows, named_row, NULL));
}

/* A prometheus_client Sample: (name, labels, value, timestamp, ...). */
static int client_sample(BufferObject *self, PyObject *sample)
{
    Py_ssize_t n, len;
    PyObject **item = row_items(sample, 4, PY_SSIZE_T_MAX, "prometheus_client samples", &n);
    const char *name;
    double value;
    int64_t ts;
    if (!item || !(name = text_arg(item[0], "name", &len)) || value_arg(item[2], &value) < 0 ||
        seconds_timestamp_arg(item[3], &ts) < 0)
        return -1;
    /* prometheus_client writes only str label values (it escapes them with
       str.replace): any other is refused, and the bridge's careful way
       raises what prometheus_client raises for it. */
    self->labels.str_values = 1;
    int rc = write_sample(self, name, item[1], value, ts);
    self->labels.str_values = 0;
    return rc;
}

/* Appends `sample` to *held when its name is in the set `names`. */
static int hold(PyObject *names, PyObject *sample, PyObject **held)
{
    if (names == Py_None || !PyTuple_Check(sample) || PyTuple_GET_SIZE(sample) < 1)
        return 0;
    int found = PySet_Contains(names, PyTuple_GET_ITEM(sample, 0));
    if (found <= 0)
        return found;
    if (!*held && !(*held = PyList_New(0)))
        return -1;
    return PyList_Append(*held, sample) < 0 ? -1 : 1;
}

PyObject *buffer_client_samples(BufferObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    if (nargs != 2) {
        PyErr_SetString(PyExc_TypeError, "_client_samples(samples, held) takes 2 arguments");
        return NULL;
    }
    PyObject *names = args[1], *held = NULL;
    if (names != Py_None && !PyAnySet_Check(names)) {
        PyErr_SetString(PyExc_TypeError, "held must be a set or None");
        return NULL;
    }
    PyObject *it = PyObject_GetIter(args[0]);
    if (!it || buffer_enter(self) < 0) {
        Py_XDECREF(it);
        return NULL;
    }
    PyObject *sample;
    int rc = 0;
    while (rc == 0 && (sample = PyIter_Next(it))) {
        rc = hold(names, sample, &held);
        rc = rc == 0 ? client_sample(self, sample) : rc < 0 ? -1 : 0;
        Py_DECREF(sample);
    }
    buffer_leave(self);
    Py_DECREF(it);
    if (rc < 0 || PyErr_Occurred()) {
        Py_XDECREF(held);
        return NULL;
    }
    if (!held)
        Py_RETURN_NONE;
    return held;
}
