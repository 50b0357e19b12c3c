/* SPDX-License-Identifier: MIT */
/* promfmt._native: the compiled route of the promfmt package, with the
   library compiled in. Every call runs with the GIL held and never lets it
   go between the library call and the reading of its last-error text, so
   the GIL is the one lock that keeps each thread's message its own. */
#include "args.h"
#include "buffer.h"

static PyObject *escape_label_value(PyObject *module, PyObject *const *args, Py_ssize_t nargs,
                                    PyObject *kwnames)
{
    (void)module;
    static const char *const names[] = {"value"};
    PyObject *value;
    Py_ssize_t len;
    const char *in;
    if (parse_args("escape_label_value", args, nargs, kwnames, names, 1, 1, &value) < 0 ||
        !(in = text_arg(value, "label value", &len)))
        return NULL;
    int size = promfmt_escape_label_value(in, NULL, 0);
    if (size < 0) {
        raise_library_error();
        return NULL;
    }
    PyObject *out = PyBytes_FromStringAndSize(NULL, size);
    if (!out)
        return NULL;
    if (promfmt_escape_label_value(in, PyBytes_AS_STRING(out), (size_t)size + 1) < 0) {
        raise_library_error();
        Py_DECREF(out);
        return NULL;
    }
    PyObject *text = PyUnicode_DecodeUTF8(PyBytes_AS_STRING(out), size, NULL);
    Py_DECREF(out);
    return text;
}

static PyMethodDef module_methods[] = {
    {"escape_label_value", (PyCFunction)(void (*)(void))escape_label_value,
     METH_FASTCALL | METH_KEYWORDS,
     "escape_label_value(value)\n--\n\n"
     "Returns value with backslash, double quote and line feed escaped."},
    {NULL, NULL, 0, NULL},
};

static int module_exec(PyObject *module)
{
    PyObject *errors = PyImport_ImportModule("promfmt._errors");
    if (!errors)
        return -1;
    promfmt_error = PyObject_GetAttrString(errors, "Error");
    Py_DECREF(errors);
    if (!promfmt_error || PyType_Ready(&BufferType) < 0)
        return -1;
    Py_INCREF(&BufferType);
    if (PyModule_AddObject(module, "Buffer", (PyObject *)&BufferType) < 0) {
        Py_DECREF(&BufferType);
        return -1;
    }
    return PyModule_AddStringConstant(module, "LIBRARY_VERSION", PROMFMT_VERSION_STRING);
}

static PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, (void *)module_exec},
    {0, NULL},
};

static struct PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    .m_name = "promfmt._native",
    .m_doc = "The compiled route of promfmt, with the library compiled in.",
    .m_size = 0,
    .m_methods = module_methods,
    .m_slots = module_slots,
};

PyMODINIT_FUNC PyInit__native(void)
{
    return PyModuleDef_Init(&module_def);
}
