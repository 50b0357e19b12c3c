/* SPDX-License-Identifier: MIT */
/* promfmt.Buffer: one library buffer, the scratch area for its labels text,
   and a lock that lets one call at a time use them. */
#ifndef PROMFMT_PY_BUFFER_H
#define PROMFMT_PY_BUFFER_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <pythread.h>

#include "labels.h"
#include "promfmt.h"

typedef struct {
    PyObject_HEAD
    promfmt_buffer_t *buf; /* NULL once closed */
    scratch_t labels;
    PyThread_type_lock lock;
    unsigned long owner; /* the thread inside a call, while the lock is held */
} BufferObject;

extern PyTypeObject BufferType;

/* Takes the buffer for one call: waits (without the GIL) while another
   thread's call runs; refuses a closed buffer and a call made from inside
   one of the buffer's own calls (a label value's __index__, say). */
int buffer_enter(BufferObject *self);
void buffer_leave(BufferObject *self);

/* Lets the buffer go; None when rc is 0, else NULL (the exception is set). */
PyObject *buffer_done(BufferObject *self, int rc);

/* One sample line, its labels text built in the buffer's scratch area; the
   caller holds the buffer. 0, or -1 with an exception set. */
int write_sample(BufferObject *self, const char *name, PyObject *labels, double value,
                 int64_t ts);

/* The batch methods (rows.c). */
PyObject *buffer_family(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                        PyObject *kwnames);
PyObject *buffer_samples(BufferObject *self, PyObject *const *args, Py_ssize_t nargs,
                         PyObject *kwnames);
PyObject *buffer_client_samples(BufferObject *self, PyObject *const *args, Py_ssize_t nargs);

#endif
