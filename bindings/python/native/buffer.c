/* SPDX-License-Identifier: MIT */
#include "buffer.h"

#include "args.h"

int buffer_enter(BufferObject *self)
{
    unsigned long me = PyThread_get_thread_ident();
    if (!PyThread_acquire_lock(self->lock, NOWAIT_LOCK)) {
        if (self->owner == me) {
            PyErr_SetString(promfmt_error, "buffer used from inside one of its own calls");
            return -1;
        }
        Py_BEGIN_ALLOW_THREADS
        PyThread_acquire_lock(self->lock, WAIT_LOCK);
        Py_END_ALLOW_THREADS
    }
    if (!self->buf) {
        PyThread_release_lock(self->lock);
        PyErr_SetString(promfmt_error, "operation on a closed buffer");
        return -1;
    }
    self->owner = me;
    return 0;
}

void buffer_leave(BufferObject *self)
{
    self->owner = 0;
    PyThread_release_lock(self->lock);
}

PyObject *buffer_done(BufferObject *self, int rc)
{
    buffer_leave(self);
    if (rc < 0)
        return NULL;
    Py_RETURN_NONE;
}

static PyObject *buffer_new(PyTypeObject *type, PyObject *args, PyObject *kwds)
{
    static char *names[] = {"capacity", NULL};
    PyObject *capacity_obj = NULL;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "|O:Buffer", names, &capacity_obj))
        return NULL;
    size_t capacity = 0;
    if (capacity_obj) {
        PyObject *number = PyNumber_Index(capacity_obj);
        if (!number)
            return NULL;
        capacity = PyLong_AsSize_t(number);
        if (capacity == (size_t)-1 && PyErr_Occurred()) {
            PyErr_Clear();
            PyErr_Format(promfmt_error, "capacity %S is out of range", number);
        }
        Py_DECREF(number);
        if (PyErr_Occurred())
            return NULL;
    }
    BufferObject *self = (BufferObject *)type->tp_alloc(type, 0);
    if (!self)
        return NULL;
    self->lock = PyThread_allocate_lock();
    if (!self->lock) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    self->buf = promfmt_buffer_create(capacity);
    if (!self->buf) {
        raise_library_error();
        Py_DECREF(self);
        return NULL;
    }
    return (PyObject *)self;
}

static void buffer_dealloc(BufferObject *self)
{
    promfmt_buffer_free(self->buf);
    scratch_free(&self->labels);
    if (self->lock)
        PyThread_free_lock(self->lock);
    Py_TYPE(self)->tp_free((PyObject *)self);
}

static PyObject *buffer_close(BufferObject *self, PyObject *unused)
{
    (void)unused;
    if (!self->buf)
        Py_RETURN_NONE;
    if (buffer_enter(self) < 0)
        return NULL;
    promfmt_buffer_free(self->buf);
    self->buf = NULL;
    scratch_free(&self->labels);
    buffer_leave(self);
    Py_RETURN_NONE;
}

static PyObject *buffer_reset(BufferObject *self, PyObject *unused)
{
    (void)unused;
    if (buffer_enter(self) < 0)
        return NULL;
    promfmt_buffer_reset(self->buf);
    buffer_leave(self);
    Py_RETURN_NONE;
}

static Py_ssize_t buffer_length(BufferObject *self)
{
    if (buffer_enter(self) < 0)
        return -1;
    size_t len = promfmt_buffer_len(self->buf);
    buffer_leave(self);
    return (Py_ssize_t)len;
}

static PyObject *buffer_data(BufferObject *self, PyObject *unused)
{
    (void)unused;
    if (buffer_enter(self) < 0)
        return NULL;
    PyObject *bytes = PyBytes_FromStringAndSize(promfmt_buffer_data(self->buf),
                                                (Py_ssize_t)promfmt_buffer_len(self->buf));
    buffer_leave(self);
    return bytes;
}

static PyObject *buffer_text(BufferObject *self, PyObject *unused)
{
    (void)unused;
    if (buffer_enter(self) < 0)
        return NULL;
    PyObject *text = PyUnicode_DecodeUTF8(promfmt_buffer_data(self->buf),
                                          (Py_ssize_t)promfmt_buffer_len(self->buf), NULL);
    buffer_leave(self);
    return text;
}

/* The library's answer: 0, or -1 with promfmt.Error and its message. */
static int checked(int rc)
{
    if (rc < 0)
        raise_library_error();
    return rc < 0 ? -1 : 0;
}

static PyObject *buffer_sample(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                               PyObject *kwnames)
{
    static const char *const names[] = {"name", "value", "labels", "timestamp"};
    PyObject *a[4];
    const char *name;
    Py_ssize_t len;
    double value;
    int64_t ts;
    if (parse_args("sample", args, nargs, kwnames, names, 4, 2, a) < 0 ||
        !(name = text_arg(a[0], "name", &len)) || value_arg(a[1], &value) < 0 ||
        timestamp_arg(a[3], &ts) < 0 || buffer_enter(self) < 0)
        return NULL;
    return buffer_done(self, write_sample(self, name, a[2], value, ts));
}

static PyObject *buffer_help(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                             PyObject *kwnames)
{
    static const char *const names[] = {"name", "text"};
    PyObject *a[2];
    const char *name, *text;
    Py_ssize_t len;
    if (parse_args("help", args, nargs, kwnames, names, 2, 2, a) < 0 ||
        !(name = text_arg(a[0], "name", &len)) || optional_text_arg(a[1], "help text", &text) < 0 ||
        buffer_enter(self) < 0)
        return NULL;
    return buffer_done(self, checked(promfmt_emit_help(self->buf, name, text)));
}

static PyObject *buffer_type(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                             PyObject *kwnames)
{
    static const char *const names[] = {"name", "kind"};
    PyObject *a[2];
    const char *name;
    Py_ssize_t len;
    int32_t kind;
    if (parse_args("type", args, nargs, kwnames, names, 2, 2, a) < 0 ||
        !(name = text_arg(a[0], "name", &len)) || kind_arg(a[1], &kind) < 0 ||
        buffer_enter(self) < 0)
        return NULL;
    return buffer_done(self, checked(promfmt_emit_type(self->buf, name,
                                                       (promfmt_metric_type_t)kind)));
}

typedef int (*family_fn)(promfmt_buffer_t *, const char *, const char *, const char *, double);

static PyObject *shortcut(BufferObject *self, const char *fn_name, family_fn fn,
                          PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames)
{
    static const char *const names[] = {"name", "value", "labels", "help"};
    PyObject *a[4];
    const char *name, *help, *json;
    Py_ssize_t len;
    double value;
    if (parse_args(fn_name, args, nargs, kwnames, names, 4, 2, a) < 0 ||
        !(name = text_arg(a[0], "name", &len)) || value_arg(a[1], &value) < 0 ||
        optional_text_arg(a[3], "help text", &help) < 0 || buffer_enter(self) < 0)
        return NULL;
    int rc = labels_json(a[2], &self->labels, &json);
    if (rc == 0 && fn(self->buf, name, help, json, value) < 0) {
        raise_library_error();
        rc = -1;
    }
    return buffer_done(self, rc);
}

static PyObject *buffer_gauge(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                              PyObject *kwnames)
{
    return shortcut(self, "gauge", promfmt_emit_gauge, args, nargs, kwnames);
}

static PyObject *buffer_counter(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                                PyObject *kwnames)
{
    return shortcut(self, "counter", promfmt_emit_counter, args, nargs, kwnames);
}

static PyObject *buffer_enter_with(PyObject *self, PyObject *unused)
{
    (void)unused;
    Py_INCREF(self);
    return self;
}

static PyObject *buffer_exit_with(BufferObject *self, PyObject *args)
{
    (void)args;
    return buffer_close(self, NULL);
}

static PyObject *buffer_repr(BufferObject *self)
{
    if (!self->buf)
        return PyUnicode_FromString("<promfmt.Buffer closed>");
    return PyUnicode_FromFormat("<promfmt.Buffer %zu bytes>", promfmt_buffer_len(self->buf));
}

static PyObject *buffer_closed(BufferObject *self, void *unused)
{
    (void)unused;
    return PyBool_FromLong(self->buf == NULL);
}

#define FAST (METH_FASTCALL | METH_KEYWORDS)

static PyMethodDef buffer_methods[] = {
    {"close", (PyCFunction)buffer_close, METH_NOARGS,
     "Frees the buffer. Calling it again does nothing."},
    {"reset", (PyCFunction)buffer_reset, METH_NOARGS,
     "Empties the text but keeps the memory for the next scrape."},
    {"data", (PyCFunction)buffer_data, METH_NOARGS, "The text so far, as UTF-8 bytes."},
    {"text", (PyCFunction)buffer_text, METH_NOARGS, "The text so far, as a str."},
    {"sample", (PyCFunction)(void (*)(void))buffer_sample, FAST,
     "sample(name, value, labels=None, timestamp=None)\n--\n\n"
     "Appends ``name{labels} value[ timestamp]``. labels is a dict or a sequence of\n"
     "(name, value) pairs with str, int, float or bool values, or the JSON text of one\n"
     "object; timestamp is in milliseconds and written only when above 0."},
    {"help", (PyCFunction)(void (*)(void))buffer_help, FAST,
     "help(name, text)\n--\n\nAppends ``# HELP name text``."},
    {"type", (PyCFunction)(void (*)(void))buffer_type, FAST,
     "type(name, kind)\n--\n\n"
     "Appends ``# TYPE name kind``; kind is a MetricType, its code or its name."},
    {"gauge", (PyCFunction)(void (*)(void))buffer_gauge, FAST,
     "gauge(name, value, labels=None, help=None)\n--\n\n"
     "Appends a whole gauge family: HELP (when help is given), TYPE and one sample."},
    {"counter", (PyCFunction)(void (*)(void))buffer_counter, FAST,
     "counter(name, value, labels=None, help=None)\n--\n\n"
     "Appends a whole counter family, as gauge() does. No \"_total\" is added."},
    {"family", (PyCFunction)(void (*)(void))buffer_family, FAST,
     "family(name, kind, rows, help=None)\n--\n\n"
     "Appends a family in one call: HELP (when help is not None), TYPE, then one sample\n"
     "named name per row of rows, each (labels, value) or (labels, value, timestamp).\n"
     "A refused row raises Error; the lines before it stay."},
    {"samples", (PyCFunction)(void (*)(void))buffer_samples, FAST,
     "samples(rows)\n--\n\n"
     "Appends one sample per row, each (name, labels, value) or\n"
     "(name, labels, value, timestamp). A refused row raises Error; the lines before\n"
     "it stay."},
    {"_client_samples", (PyCFunction)(void (*)(void))buffer_client_samples, METH_FASTCALL,
     "_client_samples(samples, held)\n--\n\n"
     "Appends prometheus_client samples (timestamps in seconds), except those whose\n"
     "name is in the set held: these are returned in a list."},
    {"__enter__", buffer_enter_with, METH_NOARGS, NULL},
    {"__exit__", (PyCFunction)buffer_exit_with, METH_VARARGS, NULL},
    {NULL, NULL, 0, NULL},
};

static PyGetSetDef buffer_getset[] = {
    {"closed", (getter)buffer_closed, NULL, "True once close() has run.", NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

static PySequenceMethods buffer_as_sequence = {
    .sq_length = (lenfunc)buffer_length,
};

PyTypeObject BufferType = {
    PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "promfmt.Buffer",
    .tp_basicsize = sizeof(BufferObject),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "Buffer(capacity=0)\n--\n\n"
              "A growing block of exposition text. Use it in a ``with`` block or call\n"
              "close(); a buffer dropped without close() is freed when it is collected.\n"
              "Once closed, every method but close() raises Error. A buffer may be\n"
              "shared between threads: its calls take turns.",
    .tp_new = buffer_new,
    .tp_dealloc = (destructor)buffer_dealloc,
    .tp_repr = (reprfunc)buffer_repr,
    .tp_methods = buffer_methods,
    .tp_getset = buffer_getset,
    .tp_as_sequence = &buffer_as_sequence,
};
