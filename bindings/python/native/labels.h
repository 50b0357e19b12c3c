/* SPDX-License-Identifier: MIT */
/* A sample's labels, given as a dict, a sequence of (name, value) pairs or
   JSON text, turned into the labels JSON text the library parses. The text
   is built in a scratch area that the buffer keeps and reuses. */
#ifndef PROMFMT_PY_LABELS_H
#define PROMFMT_PY_LABELS_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>

typedef struct {
    char *data;
    size_t len;
    size_t cap;
    int str_values; /* set: a label value that is not a str raises TypeError */
} scratch_t;

void scratch_free(scratch_t *s);

/* Sets *json to the labels JSON text (NULL for None or a missing
   argument). The text lives in `s`, or in the str or bytes given, until
   the next call. Returns 0, or -1 with an exception set. */
int labels_json(PyObject *labels, scratch_t *s, const char **json);

#endif
