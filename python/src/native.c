/* SPDX-License-Identifier: MIT */
/*
 * tovakwrapper._native: the checked calls of the Python host.
 *
 * Every accessor of tovakWrapperAccessors.h is a method of Library, which
 * makes the call, and of CallList, which checks it the same way and keeps it
 * for miRunCalls. Both go through one dispatcher, in three phases:
 *
 *   1. Python may run. The arguments are parsed, each index is converted
 *      once (PyNumber_Index, which may call __index__), a missing out= is
 *      made, and the one buffer is taken (PyObject_GetBuffer).
 *   2. No Python runs. check() tests the converted indices against the
 *      records and the module's copy of the metadata (the tables are read
 *      where the library reads them) and the buffer's export against the
 *      element type, count, writability and alignment; then the library is
 *      called. The GIL is held from the first check to the end of the
 *      native call and nothing in between allocates, drops a reference or
 *      looks up an attribute, so no thread, signal handler or finalizer can
 *      act between what was checked and what the library does.
 *   3. The buffer is released and the result returned.
 *
 * initialize() reads the three metadata records and their tables in phase 1,
 * then passes the records to miInitialize and updates the module's copy in
 * one step that runs no Python, and drops what it replaced afterwards.
 *
 * Records copy the MessageRecords they are given: the array the calls pass
 * is the module's own, which no Python code can change, resize or overlap.
 * From a ctypes source they also keep what ctypes kept alive for its
 * pointers, so the messages they address outlive the source.
 */
#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* dladdr */
#endif
#include <Python.h>
#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <structmember.h>

#include "tovakWrapper.h"
#include "tovakWrapperAccessors.h"
#include "tovakWrapperCalls.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the buffer formats are read as on a little-endian machine"
#endif

enum { COMMAND, FEEDBACK, INFO };
enum { OP_SET, OP_GET, OP_HAS };

/* ---- element types -------------------------------------------------------- */

/* The element types of `values` and `out`, named by the T of the accessor
 * list. cls: 'f' float32, 'd' float64, 'i' signed, 'u' unsigned integer,
 * 's' structures only. */
typedef struct {
    const char *type, *name, *typecode;
    Py_ssize_t width, align;
    char cls;
    int columns;            /* (count, columns) float32 arrays are accepted too */
    const char *members[6]; /* structure formats accepted, as member type codes */
} Element;

/* clang-format off */
#define ELEMENTS(X) \
    X(float,         "float32", "f", 'f', 0, {0}) \
    X(double,        "float64", "d", 'd', 0, {0}) \
    X(MiVector3f,    "MiVector3f (three float32)", "f", 's', 3, {"fff"}) \
    X(MiQuaternionf, "MiQuaternionf (four float32)", "f", 's', 4, {"ffff"}) \
    X(uint64_t,      "uint64", "Q", 'u', 0, {0}) \
    X(int32_t,       "int32", "i", 'i', 0, {0}) \
    X(uint8_t,       "uint8", "B", 'u', 0, {0}) \
    X(IoPinEntry,    "IoPinEntry (int64 value, uint32 tag, uint32 padding)", NULL, 's', 0, \
      {"8II", "UII", "8I"}) \
    X(int64_t,       "int64", "q", 'i', 0, {0}) \
    X(uint32_t,      "uint32", "I", 'u', 0, {0})
#define ELEMENT_ENUM(T, ...) ELEMENT_##T,
#define ELEMENT_ROW(T, name, typecode, cls, columns, ...) \
    {#T, name, typecode, sizeof(T), _Alignof(T), cls, columns, __VA_ARGS__},
enum { ELEMENTS(ELEMENT_ENUM) ELEMENT_COUNT };
static const Element elements[] = {ELEMENTS(ELEMENT_ROW)};

/* The field kinds: KIND's names, the names in messages, the Shape fields. */
static const struct { const char *name, *shown, *shape; } kinds[MI_KIND_COUNT] = {
    {"FLOAT", "Float", "floats"}, {"HIGH_RES_ANGLE", "HighResAngle", "high_res_angles"},
    {"VECTOR3F", "Vector3f", "vector3fs"}, {"QUATERNIONF", "Quaternionf", "quaternionfs"},
    {"UINT64", "UInt64", "uint64s"}, {"ENUM", "Enum", "enums"}, {"BOOL", "Bool", "bools"},
    {"NUMBERED_FLOAT", "NumberedFloat", "numbered_floats"}, {"IO_PIN", "IoPin", "io_pins"},
    {"LED", "Led", "leds"}, {"RESERVED", "Reserved", NULL}, {"FLAG", "Flag", NULL}};
/* clang-format on */
static const char *const messages[] = {"command", "feedback", "info"};
static const char *const shown_messages[] = {"Command", "Feedback", "Info"};

/* ---- the accessor table, from the accessor list ----------------------------- */

typedef struct {
    uint32_t value; /* MiCallAccessor */
    const char *name, *function, *a_name, *b_name;
    uint8_t message, op, kind, entry, element;
} Accessor;

#define ARGS_FIELD 0
#define ARGS_ENTRY 1
#define FIELD_NAME_SET "field"
#define FIELD_NAME_GET "field"
#define FIELD_NAME_HAS "bit"
#define A_NAME_FIELD(KIND, OP) FIELD_NAME_##OP
#define B_NAME_FIELD(KIND, OP) NULL
#define A_NAME_ENTRY(KIND, OP) A_NAME_##KIND
#define B_NAME_ENTRY(KIND, OP) B_NAME_##KIND
#define A_NAME_NUMBERED_FLOAT "number"
#define B_NAME_NUMBERED_FLOAT "field"
#define A_NAME_IO_PIN "pin"
#define B_NAME_IO_PIN "bank"
#define NAMES_FIELD(KIND, OP) FIELD_NAME_##OP
#define NAMES_ENTRY(KIND, OP) A_NAME_##KIND ", " B_NAME_##KIND
#define SIGNATURE_SET(names) "records, values, " names ", /, *, count=None"
#define SIGNATURE_GET(names) "records, " names ", /, *, count=None, out=None"
#define SIGNATURE_HAS SIGNATURE_GET
#define SAYS_SET " sets the field and its presence bit in each message; values None: the bits only."
#define SAYS_GET " reads the field of each message into out (a new array when out is None)."
#define SAYS_HAS " writes 1 or 0 per message into out (a new array when out is None)."

#define ACCESSOR_ROW(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    {value,                                                                         \
     #name,                                                                         \
     #function,                                                                     \
     A_NAME_##ARGS(KIND, OP),                                                       \
     B_NAME_##ARGS(KIND, OP),                                                       \
     MESSAGE,                                                                       \
     OP_##OP,                                                                       \
     MI_KIND_##KIND,                                                                \
     ARGS_##ARGS,                                                                   \
     ELEMENT_##T},
static const Accessor accessors[] = {MI_ACCESSORS(ACCESSOR_ROW)};
#define BY_KIND 0x100 /* flag on an index: a Has...Field query by kind and field */

/* ---- the module's copy of the metadata ------------------------------------ */

/* What the library holds since the last initialize(): bases and table
 * pointers, and what the module knows of the tables: their length (-1: not
 * known) and the c_int32 arrays they are, kept alive. */
static struct {
    uint64_t epoch; /* 0 until initialize(), then one more at each */
    uint32_t base[3][MI_KIND_COUNT];
    const int32_t *table[3][2]; /* numbered-float, pin-bank */
    Py_ssize_t length[3][2];
    PyObject *held[3][2];
} mirror;
static const char *const table_names[] = {"numberedFloatTable", "pinBankTable"};
static const char *const shown_tables[] = {"numbered-float table", "pin-bank table"};

static PyTypeObject *records_type, *calls_type, *raw_type, *shape_type, *metadata_type;
static PyObject *allocator, *numpy_bool, *s_count, *s_out;

/* ---- records ---------------------------------------------------------------- */

typedef struct {
    PyObject ob_base;
    MessageRecord *records; /* the module's own copy */
    uint32_t count, words;
    int message; /* -1: any */
    uint64_t length[MI_KIND_COUNT];
    PyObject *shape;
    PyObject *kept; /* what ctypes kept alive for the source's pointers, or NULL */
} Records;

/* The export describes its bytes: itemsize times the shape is len (a ctypes
 * array grown with ctypes.resize() exports more bytes than elements). */
static int consistent(const char *what, const Py_buffer *view) {
    Py_ssize_t items = 1;
    for (int d = 0; d < view->ndim; ++d) items *= view->shape[d];
    if (items * view->itemsize == view->len) return 0;
    PyErr_Format(PyExc_ValueError,
                 "%s exports %zd bytes but describes %zd elements of %zd bytes (a ctypes array "
                 "grown with ctypes.resize()?); pass a buffer whose elements are its bytes",
                 what, view->len, items, view->itemsize);
    return -1;
}

static int index_of(PyObject *obj, const char *what, long long *value, int *big);

/* A buffer export that failed. An error about the object (TypeError,
 * ValueError, BufferError) is to be replaced by one that says what the call
 * takes: export_refused returns 1 and keeps it in *cause, and once the
 * caller has raised its own, export_refused_done makes it that error's cause.
 * Any other (KeyboardInterrupt, MemoryError ...) goes on as it was: 0. */
static int export_refused(PyObject **cause) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError) &&
        !PyErr_ExceptionMatches(PyExc_BufferError))
        return 0;
    PyObject *type, *traceback;
    PyErr_Fetch(&type, cause, &traceback);
    PyErr_NormalizeException(&type, cause, &traceback);
    if (traceback && *cause) PyException_SetTraceback(*cause, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return 1;
}
static void export_refused_done(PyObject *cause) {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value && cause)
        PyException_SetCause(value, cause); /* takes the reference */
    else
        Py_XDECREF(cause);
    PyErr_Restore(type, value, traceback);
}

static PyObject *records_new(PyTypeObject *type, PyObject *args, PyObject *kwargs) {
    static char *keywords[] = {"records", "shape", "message", NULL};
    PyObject *source, *shape, *message = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|O:Records", keywords, &source, &shape,
                                     &message))
        return NULL;
    if (Py_TYPE(shape) != shape_type)
        return PyErr_Format(PyExc_TypeError, "shape must be a tovakwrapper.Shape");
    int kind = -1;
    for (int m = 0; m < 3 && message != Py_None; ++m)
        if (PyUnicode_Check(message) && !PyUnicode_CompareWithASCIIString(message, messages[m]))
            kind = m;
    if (message != Py_None && kind < 0)
        return PyErr_Format(PyExc_ValueError,
                            "message must be 'command', 'feedback', 'info' or None, not %R",
                            message);
    uint64_t length[MI_KIND_COUNT] = {0}, words = 0;
    for (int k = -1; k < MI_KIND_COUNT; ++k) {
        const char *name = k < 0 ? "presence_words" : kinds[k].shape;
        if (!name) continue;
        PyObject *item = PyObject_GetAttrString(shape, name);
        long long n;
        int big;
        int failed = !item || index_of(item, name, &n, &big);
        Py_XDECREF(item);
        if (failed) return NULL;
        /* Bit indices wrap at 2^32, so more words than 2^27 are never reached. */
        long long limit = k < 0 ? 1LL << 27 : 1LL << 32;
        if (big || n < 0 || n > limit)
            return PyErr_Format(PyExc_ValueError, "Shape.%s must be from 0 to %lld", name, limit);
        *(k < 0 ? &words : &length[k]) = (uint64_t)n;
    }
    /* A ctypes array (or structure) of records keeps the arrays assigned to
     * its pointers alive in _objects; a copy of that, taken just before the
     * records are, keeps the messages these records address alive when the
     * source is dropped or re-pointed. */
    PyObject *kept = PyObject_GetAttrString(source, "_objects");
    if (kept && PyDict_Check(kept)) {
        PyObject *copy = PyDict_Copy(kept);
        Py_DECREF(kept);
        if (!copy) return NULL;
        kept = copy;
    } else if (kept || PyErr_ExceptionMatches(PyExc_AttributeError)) {
        Py_CLEAR(kept); /* not a ctypes object, or one that keeps nothing */
        PyErr_Clear();
    } else {
        return NULL;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(source, &view, PyBUF_RECORDS_RO) < 0) {
        Py_XDECREF(kept);
        PyObject *cause;
        if (!export_refused(&cause)) return NULL;
        PyErr_Format(PyExc_TypeError,
                     "records must be a buffer of whole %zu-byte MessageRecords (a ctypes array "
                     "of tovakwrapper.MessageRecord, say)",
                     sizeof(MessageRecord));
        export_refused_done(cause);
        return NULL;
    }
    Records *self = NULL;
    if (consistent("records", &view) < 0) goto done;
    if (!PyBuffer_IsContiguous(&view, 'C')) {
        PyErr_SetString(PyExc_ValueError, "records must be C-contiguous");
        goto done;
    }
    if (view.len % (Py_ssize_t)sizeof(MessageRecord) ||
        view.len / (Py_ssize_t)sizeof(MessageRecord) > (Py_ssize_t)UINT32_MAX) {
        PyErr_Format(PyExc_ValueError,
                     "records must hold whole %zu-byte MessageRecords, at "
                     "most 2^32 - 1 of them, not %zd bytes",
                     sizeof(MessageRecord), view.len);
        goto done;
    }
    self = (Records *)PyType_GenericAlloc(type, 0);
    if (!self) goto done;
    self->records = PyMem_Malloc(view.len ? (size_t)view.len : 1);
    if (!self->records) {
        Py_CLEAR(self);
        PyErr_NoMemory();
        goto done;
    }
    memcpy(self->records, view.buf, (size_t)view.len);
    self->count = (uint32_t)(view.len / (Py_ssize_t)sizeof(MessageRecord));
    self->words = (uint32_t)words;
    self->message = kind;
    memcpy(self->length, length, sizeof length);
    Py_INCREF(shape);
    self->shape = shape;
    self->kept = kept;
    kept = NULL;
done:
    PyBuffer_Release(&view);
    Py_XDECREF(kept);
    return (PyObject *)self;
}

static void records_dealloc(PyObject *obj) {
    Records *self = (Records *)obj;
    PyTypeObject *type = Py_TYPE(obj);
    PyMem_Free(self->records);
    Py_XDECREF(self->shape);
    Py_XDECREF(self->kept);
    ((freefunc)PyType_GetSlot(type, Py_tp_free))(obj);
    Py_DECREF(type);
}

static Py_ssize_t records_len(PyObject *obj) { return ((Records *)obj)->count; }

static int records_getbuffer(PyObject *obj, Py_buffer *view, int flags) {
    Records *self = (Records *)obj;
    return PyBuffer_FillInfo(view, obj, self->records,
                             (Py_ssize_t)self->count * (Py_ssize_t)sizeof(MessageRecord), 1, flags);
}

static PyObject *records_get(PyObject *obj, void *what) {
    Records *self = (Records *)obj;
    switch ((intptr_t)what) {
        case 0:
            Py_INCREF(self->shape);
            return self->shape;
        case 1:
            if (self->message < 0) Py_RETURN_NONE;
            return PyUnicode_FromString(messages[self->message]);
        case 2:
            return PyLong_FromUnsignedLong(self->count);
        default:
            return PyLong_FromVoidPtr(self->records);
    }
}

static PyObject *records_repr(PyObject *obj) {
    Records *self = (Records *)obj;
    return PyUnicode_FromFormat(
        "<Records of %u%s%s messages, %R>", self->count, self->message < 0 ? "" : " ",
        self->message < 0 ? "" : shown_messages[self->message], self->shape);
}

/* ---- arguments -------------------------------------------------------------- */

/* A Raw marks a buffer whose bytes are passed whatever its format. */
typedef struct {
    PyObject ob_base;
    PyObject *buffer;
} Raw;

static PyObject *raw_new(PyTypeObject *type, PyObject *args, PyObject *kwargs) {
    PyObject *buffer;
    if (kwargs && PyDict_Size(kwargs)) return PyErr_Format(PyExc_TypeError, "Raw(buffer)");
    if (!PyArg_ParseTuple(args, "O:Raw", &buffer)) return NULL;
    Raw *self = (Raw *)PyType_GenericAlloc(type, 0);
    if (self) Py_INCREF(buffer), self->buffer = buffer;
    return (PyObject *)self;
}

static void raw_dealloc(PyObject *obj) {
    PyTypeObject *type = Py_TYPE(obj);
    Py_XDECREF(((Raw *)obj)->buffer);
    ((freefunc)PyType_GetSlot(type, Py_tp_free))(obj);
    Py_DECREF(type);
}

static int is_bool(PyObject *obj) {
    if (PyBool_Check(obj)) return 1;
    if (!numpy_bool) { /* numpy.bool_ can exist only once numpy is imported */
        PyObject *name = PyUnicode_FromString("numpy");
        PyObject *numpy = name ? PyImport_GetModule(name) : NULL;
        Py_XDECREF(name);
        if (numpy) numpy_bool = PyObject_GetAttrString(numpy, "bool_");
        Py_XDECREF(numpy);
        PyErr_Clear();
    }
    return numpy_bool && (PyObject *)Py_TYPE(obj) == numpy_bool;
}

/* obj as an integer, converted once; *big when it does not fit 64 bits. A
 * bool (Python's or numpy's) is refused: as an index it is a mistake. */
static int index_of(PyObject *obj, const char *what, long long *value, int *big) {
    PyObject *number = NULL;
    if (!PyLong_CheckExact(obj)) {
        if (!is_bool(obj)) number = PyNumber_Index(obj);
        if (!number) {
            if (PyErr_Occurred() && !PyErr_ExceptionMatches(PyExc_TypeError)) return -1;
            PyErr_Clear();
            PyObject *type = PyType_GetName(Py_TYPE(obj));
            if (type) PyErr_Format(PyExc_TypeError, "%s must be an integer, not %U", what, type);
            Py_XDECREF(type);
            return -1;
        }
        obj = number;
    }
    *value = PyLong_AsLongLongAndOverflow(obj, big);
    Py_XDECREF(number); /* an exact int: nothing to finalize */
    return 0;
}

/* ---- checks: no Python runs from here to the end of the native call --------- */

typedef struct {
    uint32_t n;     /* count */
    long long a, b; /* field, bit, number or pin; field or bank (by kind: kind, field) */
    int a_big, b_big;
} Args;

typedef struct {
    const int32_t *entry; /* the table entry the call reads, or NULL */
    int32_t value;        /* what it held when checked */
} Watch;

static int within(long long x, int big, long long low, long long high) {
    return !big && x >= low && x <= high;
}

/* Raises: x is not in [low, high]; `why` says what the range is (for an
 * empty range, why nothing fits). */
static int range_error(const char *what, long long x, int big, long long low, long long high,
                       const char *why) {
    const char *open = *why ? " (" : "", *close = *why ? ")" : "";
    if (high < low && big)
        PyErr_Format(PyExc_ValueError, "%s is out of range: %s", what, why);
    else if (high < low)
        PyErr_Format(PyExc_ValueError, "%s %lld is out of range: %s", what, x, why);
    else if (big)
        PyErr_Format(PyExc_ValueError,
                     "%s must be from %lld to %lld%s%s%s, not a value beyond "
                     "64 bits",
                     what, low, high, open, why, close);
    else
        PyErr_Format(PyExc_ValueError, "%s must be from %lld to %lld%s%s%s, not %lld", what, low,
                     high, open, why, close, x);
    return -1;
}

/* 0 when x is in [low, high]; else raises, saying `why` the range is so. */
static int out_of_range(const char *what, long long x, int big, long long low, long long high,
                        const char *why) {
    return within(x, big, low, high) ? 0 : range_error(what, x, big, low, high, why);
}

/* Presence bit base[kind] + offset of a metadata copy must lie in the
 * records' presence words. */
static int presence(const Records *r, int copy, int kind, uint32_t offset, const char *what,
                    long long x) {
    uint32_t base = mirror.base[copy][kind], bit = base + offset;
    if (bit >> 5 < r->words) return 0;
    PyErr_Format(PyExc_ValueError,
                 "%s %lld addresses presence bit %u (%s base %s %u + %u, modulo 2^32), in "
                 "presence word %u; these records have %u presence words",
                 what, x, bit, shown_messages[copy], kinds[kind].shown, base, offset, bit >> 5,
                 r->words);
    return -1;
}

/* The error paths format their messages apart from the checks (which then
 * need no buffers of their own). */
#define COLD __attribute__((noinline, cold))

static COLD int value_index_error(const Records *r, int kind, const char *what, long long x,
                                  int big) {
    char why[96];
    if (!r->length[kind])
        snprintf(why, sizeof why, "these records have no %s array (its length in their Shape is 0)",
                 kinds[kind].shown);
    else
        snprintf(why, sizeof why, "these records' %s arrays hold %llu elements", kinds[kind].shown,
                 (unsigned long long)r->length[kind]);
    return range_error(what, x, big, 0, (long long)r->length[kind] - 1, why);
}

static inline int value_index(const Records *r, int kind, const char *what, long long x, int big) {
    return within(x, big, 0, (long long)r->length[kind] - 1)
               ? 0
               : value_index_error(r, kind, what, x, big);
}

static COLD int table_error(const Accessor *acc, long long x, int copy, int which,
                            Py_ssize_t entries) {
    char why[96];
    snprintf(why, sizeof why,
             entries ? "the %s metadata's %s has %zd entries" : "the %s metadata's %s is empty",
             shown_messages[copy], shown_tables[which], entries);
    return range_error(acc->b_name, x, 0, 0, (long long)entries - 1, why);
}

static COLD int bit_error(const Records *r, long long x, int big) {
    char why[64];
    snprintf(why, sizeof why, "these records have %u presence words", r->words);
    return range_error("bit", x, big, 0, 32LL * r->words - 1, why);
}

/* A byte-order mark: '<' and '=' give standard sizes until the next one. */
static const char *order(const char *f, int *standard) {
    if (*f == '@' || *f == '=' || *f == '<') *standard = *f++ != '@';
    return f;
}

/* The member type codes of a structure format ('T{(3)<f:v:}' -> "fff"),
 * names and byte-order marks left out, an 8-byte integer as '8' and 'B' as
 * 'U': ctypes writes 'B' for a byte but also for a union or a packed
 * structure of any size (IoPinEntry's value), so a 'U' member places what
 * follows only in IoPinEntry's full form "UII" (then tag and padding can only
 * be at 8 and 12 of 16 bytes), not in "UI" (a 12-byte union puts tag at 12);
 * 0 for anything else. */
static int members(const char *f, char *out, size_t cap) {
    size_t k = 0;
    int standard = 0;
    if (f[0] != 'T' || f[1] != '{') return 0;
    for (f += 2; *f != '}';) {
        unsigned long repeat = 1;
        f = order(f, &standard);
        if (*f == '(') {
            for (repeat = 0, ++f; *f >= '0' && *f <= '9' && repeat < cap; ++f)
                repeat = repeat * 10 + (unsigned long)(*f - '0');
            if (*f++ != ')') return 0;
            f = order(f, &standard);
        }
        if (!*f || !strchr("fdbBhHiIlLqQnN", *f) || k + repeat >= cap) return 0;
        char type = *f++;
        if (strchr("qQnN", type) || (strchr("lL", type) && !standard)) type = '8';
        if (type == 'B') type = 'U';
        while (repeat--) out[k++] = type;
        if (*f == ':') { /* a name: letters, digits and underscores, nothing else */
            const char *name = ++f;
            while ((*f >= 'a' && *f <= 'z') || (*f >= 'A' && *f <= 'Z') ||
                   (*f >= '0' && *f <= '9') || *f == '_')
                ++f;
            if (f == name || *f++ != ':') return 0;
        }
    }
    out[k] = 0;
    return f[1] == 0;
}

static int scalar(const char *f, char cls) {
    if (*f == '@' || *f == '=' || *f == '<') ++f;
    if (!f[0] || f[1]) return 0;
    switch (f[0]) {
        case 'b':
        case 'h':
        case 'i':
        case 'l':
        case 'q':
        case 'n':
            return cls == 'i';
        case 'B':
        case 'H':
        case 'I':
        case 'L':
        case 'Q':
        case 'N':
            return cls == 'u';
        default:
            return f[0] == cls && (cls == 'f' || cls == 'd');
    }
}

static int element_matches(const Element *e, const Py_buffer *v) {
    if (v->ndim == 2 && e->columns)
        return v->shape[1] == e->columns && v->itemsize == 4 && scalar(v->format, 'f');
    if (v->ndim != 1 || v->itemsize != e->width) return 0;
    if (e->cls != 's') return scalar(v->format, e->cls);
    char found[32];
    if (!members(v->format, found, sizeof found)) return 0;
    for (int i = 0; e->members[i]; ++i)
        if (!strcmp(found, e->members[i])) return 1;
    return 0;
}

static COLD int type_error(const char *what, const Py_buffer *v, const Element *e) {
    char shape[64] = "";
    for (int d = 0, at = 0; d < v->ndim && d < 4 && at < 48; ++d)
        at += snprintf(shape + at, sizeof shape - at, d ? ", %zd" : "%zd", v->shape[d]);
    PyErr_Format(PyExc_TypeError,
                 "%s is a buffer of format '%s', itemsize %zd and shape (%s); this call takes %s "
                 "elements%s (tovakwrapper.Raw passes any bytes)",
                 what, v->format ? v->format : "B", v->itemsize, shape, e->name,
                 e->columns == 3   ? ", or float32 of shape (count, 3)"
                 : e->columns == 4 ? ", or float32 of shape (count, 4)"
                                   : ", one-dimensional");
    return -1;
}

static int check_buffer(const Accessor *acc, const Py_buffer *v, int raw, uint32_t n) {
    const Element *e = &elements[acc->element];
    const int out = acc->op != OP_SET;
    const char *what = out ? "out" : "values";
    Py_ssize_t length;
    if (raw) {
        if (v->len % e->width)
            return PyErr_Format(PyExc_ValueError,
                                "%s holds %zd bytes, not a whole number of %zd-byte %s elements",
                                what, v->len, e->width, e->name),
                   -1;
        length = v->len / e->width;
    } else {
        if (consistent(what, v) < 0) return -1;
        if (!element_matches(e, v)) return type_error(what, v, e);
        length = v->shape[0];
    }
    const int contiguous =
        v->ndim == 1 ? !v->strides || v->strides[0] == v->itemsize : PyBuffer_IsContiguous(v, 'C');
    if (!contiguous) return PyErr_Format(PyExc_ValueError, "%s is not C-contiguous", what), -1;
    if (out ? length != (Py_ssize_t)n : length < (Py_ssize_t)n)
        return PyErr_Format(PyExc_ValueError, "%s holds %zd elements; it must hold %s count = %u",
                            what, length, out ? "exactly" : "at least", n),
               -1;
    if (out && v->readonly)
        return PyErr_Format(PyExc_ValueError, "out is read-only; it must be writable"), -1;
    if (!n) return 0; /* nothing is read or written */
    uintptr_t start = (uintptr_t)v->buf, end = start + (uintptr_t)n * (uintptr_t)e->width;
    if (start & (uintptr_t)(e->align - 1)) /* alignments are powers of two */
        return PyErr_Format(PyExc_ValueError,
                            "%s starts at address %p, not a multiple of %zd: %s elements must be "
                            "aligned to %zd bytes",
                            what, v->buf, e->align, e->name, e->align),
               -1;
    for (int copy = 0; out && copy < 3; ++copy)
        for (int which = 0; which < 2; ++which) {
            uintptr_t table = (uintptr_t)mirror.table[copy][which];
            if (table && mirror.length[copy][which] > 0 &&
                start < table + 4 * (uintptr_t)mirror.length[copy][which] && table < end)
                return PyErr_Format(PyExc_ValueError,
                                    "out overlaps the %s metadata's %s, which the accessors read",
                                    shown_messages[copy], shown_tables[which]),
                       -1;
        }
    return 0;
}

static const char *call_name(const Accessor *acc, int by_kind) {
    static const char *const by_kind_names[] = {"command_has", "feedback_has", "info_has"};
    return by_kind ? by_kind_names[acc->message] : acc->name;
}

static int reads_metadata(const Accessor *acc, int by_kind) {
    return acc->op == OP_SET || acc->entry || by_kind ||
           (acc->kind == MI_KIND_FLAG && acc->op == OP_GET);
}

/* Checks one call against its records, the metadata and its buffer (or
 * NULL), and fills *call with what the library is to be passed and *watch
 * with the table entry it reads. Runs no Python: 0, or -1 with an error. */
static int check(const Accessor *acc, int by_kind, const Records *r, const Args *x,
                 const Py_buffer *view, int raw, MiCall *call, Watch *watch) {
    uint32_t field = 0;
    int32_t number = 0;
    watch->entry = NULL;
    if (r->message >= 0 && r->message != acc->message)
        return PyErr_Format(PyExc_TypeError, "%s takes %s records, not %s records",
                            call_name(acc, by_kind), messages[acc->message], messages[r->message]),
               -1;
    if (reads_metadata(acc, by_kind) && !mirror.epoch)
        return PyErr_Format(PyExc_RuntimeError, "%s reads the metadata: call initialize() first",
                            call_name(acc, by_kind)),
               -1;
    if (acc->entry) {
        if (out_of_range(acc->a_name, x->a, x->a_big, INT32_MIN, INT32_MAX, "") ||
            out_of_range(acc->b_name, x->b, x->b_big, 0, UINT32_MAX, ""))
            return -1;
        number = (int32_t)x->a;
        field = (uint32_t)x->b;
        /* Getters and setters address through the Feedback tables; the
         * queries through their own message's, with its base. */
        int copy = acc->op == OP_HAS ? acc->message : FEEDBACK;
        int which = acc->kind == MI_KIND_NUMBERED_FLOAT ? 0 : 1;
        const int32_t *table = mirror.table[copy][which];
        Py_ssize_t entries = mirror.length[copy][which];
        if (table) { /* without a table the library touches nothing */
            if (entries < 0)
                return PyErr_Format(PyExc_ValueError,
                                    "%s cannot be checked: the %s metadata's %s was not assigned "
                                    "a ctypes array of c_int32, so its length is not known",
                                    acc->b_name, shown_messages[copy], table_names[which]),
                       -1;
            if (field >= entries) return table_error(acc, x->b, copy, which, entries);
            long long index = (long long)table[field] + number;
            if (index < 0 || (unsigned long long)index >= r->length[acc->kind])
                return PyErr_Format(PyExc_ValueError,
                                    "%s %d + the %s metadata's %s[%u] (%d) = %lld: these records' "
                                    "%s arrays hold %llu elements",
                                    acc->a_name, number, shown_messages[copy], shown_tables[which],
                                    field, table[field], index, kinds[acc->kind].shown,
                                    (unsigned long long)r->length[acc->kind]),
                       -1;
            if (acc->op != OP_GET && presence(r, acc->op == OP_SET ? COMMAND : copy, acc->kind,
                                              (uint32_t)index, "value index", index))
                return -1;
            watch->entry = &table[field];
            watch->value = table[field];
        }
    } else if (acc->op == OP_HAS) { /* an absolute bit, or a kind and a field */
        if (by_kind) {
            if (out_of_range("kind", x->a, x->a_big, 0, MI_KIND_COUNT - 1, "a tovakwrapper.KIND"))
                return -1;
            if (x->a < MI_KIND_RESERVED ? value_index(r, (int)x->a, "field", x->b, x->b_big)
                                        : out_of_range("field", x->b, x->b_big, 0, UINT32_MAX, ""))
                return -1;
            if (presence(r, acc->message, (int)x->a, (uint32_t)x->b, "field", x->b)) return -1;
            field = mirror.base[acc->message][x->a] + (uint32_t)x->b;
        } else {
            if (!within(x->a, x->a_big, 0, 32LL * r->words - 1))
                return bit_error(r, x->a, x->a_big);
            field = (uint32_t)x->a;
        }
    } else if (acc->kind == MI_KIND_FLAG) {
        if (out_of_range("field", x->a, x->a_big, 0, UINT32_MAX, "")) return -1;
        field = (uint32_t)x->a;
        if (presence(r, acc->op == OP_SET ? COMMAND : acc->message, MI_KIND_FLAG, field, "field",
                     x->a))
            return -1;
    } else {
        if (value_index(r, acc->kind, "field", x->a, x->a_big)) return -1;
        field = (uint32_t)x->a;
        if (acc->op == OP_SET && presence(r, COMMAND, acc->kind, field, "field", x->a)) return -1;
    }
    if (view && check_buffer(acc, view, raw, x->n)) return -1;
    call->accessor = acc->value;
    call->count = x->n;
    call->number = number;
    call->field = field;
    call->records = r->records;
    call->buffer = view ? view->buf : NULL;
    return 0;
}

/* One call, each exactly as the accessor the value names. */
#define CALL_SET_FIELD(f, T) f(c->records, (const T *)c->buffer, c->count, c->field)
#define CALL_GET_FIELD(f, T) f((T *)c->buffer, c->records, c->count, c->field)
#define CALL_SET_ENTRY(f, T) f(c->records, (const T *)c->buffer, c->count, c->number, c->field)
#define CALL_GET_ENTRY(f, T) f((T *)c->buffer, c->records, c->count, c->number, c->field)
#define CALL_HAS_FIELD CALL_GET_FIELD
#define CALL_HAS_ENTRY CALL_GET_ENTRY
#define CALL_CASE(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T) \
    case value:                                                                  \
        CALL_##OP##_##ARGS(function, T);                                         \
        break;
static void invoke(const MiCall *c) {
    switch (c->accessor) {
        MI_ACCESSORS(CALL_CASE)
        default:
            break;
    }
}

/* ---- call lists --------------------------------------------------------------- */

typedef struct {
    const Accessor *acc;
    int by_kind, raw;
    Records *records;
    Py_buffer *view; /* held while the list exists, or NULL (an export may point into itself) */
    Args args;
    Watch watch;
} Step;

typedef struct {
    PyObject ob_base;
    MiCall *calls;
    Step *steps;
    uint32_t n, capacity;
    uint64_t epoch; /* of the metadata every call was last checked against */
} CallList;

static void calls_dealloc(PyObject *obj) {
    CallList *self = (CallList *)obj;
    PyTypeObject *type = Py_TYPE(obj);
    for (uint32_t i = 0; i < self->n; ++i) {
        if (self->steps[i].view) PyBuffer_Release(self->steps[i].view);
        PyMem_Free(self->steps[i].view);
        Py_DECREF(self->steps[i].records);
    }
    PyMem_Free(self->calls);
    PyMem_Free(self->steps);
    ((freefunc)PyType_GetSlot(type, Py_tp_free))(obj);
    Py_DECREF(type);
}

static int append(CallList *self, const Accessor *acc, int by_kind, int raw, Records *r,
                  const Args *x, Py_buffer *view, const MiCall *call, const Watch *watch) {
    if (self->n == self->capacity) {
        uint32_t capacity = self->capacity ? 2 * self->capacity : 8;
        if (self->n == UINT32_MAX) return PyErr_Format(PyExc_ValueError, "the list is full"), -1;
        if (capacity < self->capacity) capacity = UINT32_MAX;
        MiCall *calls = PyMem_Realloc(self->calls, capacity * sizeof *calls);
        if (calls) self->calls = calls;
        Step *steps = calls ? PyMem_Realloc(self->steps, capacity * sizeof *steps) : NULL;
        if (!steps) return PyErr_NoMemory(), -1;
        self->steps = steps;
        self->capacity = capacity;
    }
    if (!self->n) self->epoch = mirror.epoch;
    Step *step = &self->steps[self->n];
    step->acc = acc;
    step->by_kind = by_kind;
    step->raw = raw;
    Py_INCREF((PyObject *)r);
    step->records = r;
    step->args = *x;
    step->watch = *watch;
    step->view = view; /* the list holds the export from now on */
    self->calls[self->n++] = *call;
    return 0;
}

static PyObject *calls_run(PyObject *obj, PyObject *args, PyObject *kwargs) {
    CallList *self = (CallList *)obj;
    if (PyTuple_Size(args) || (kwargs && PyDict_Size(kwargs)))
        return PyErr_Format(PyExc_TypeError, "a call list takes no arguments");
    /* Checked again, every call, when what the checks read changed: the
     * metadata (a table of an older one is not read before), or a table
     * entry a call reads. */
    int stale = self->epoch != mirror.epoch;
    for (uint32_t i = 0; i < self->n && !stale; ++i)
        stale =
            self->steps[i].watch.entry && *self->steps[i].watch.entry != self->steps[i].watch.value;
    for (uint32_t i = 0; i < self->n && stale; ++i) {
        Step *s = &self->steps[i];
        MiCall call;
        Watch watch;
        if (check(s->acc, s->by_kind, s->records, &s->args, s->view, s->raw, &call, &watch)) {
            self->epoch = UINT64_MAX; /* no metadata's: everything is checked again next time */
            return NULL;
        }
        self->calls[i] = call;
        s->watch = watch;
    }
    self->epoch = mirror.epoch;
    miRunCalls(self->calls, self->n);
    Py_RETURN_NONE;
}

static Py_ssize_t calls_len(PyObject *obj) { return ((CallList *)obj)->n; }

/* ---- the dispatcher ----------------------------------------------------------- */

static PyObject *dispatch(PyObject *self, int index, PyObject *const *args, Py_ssize_t nargs,
                          PyObject *kwnames) {
    const Accessor *acc = &accessors[index & 0xff];
    const int by_kind = index & BY_KIND, setter = acc->op == OP_SET;
    const Py_ssize_t wanted = 2 + setter + (acc->entry || by_kind);
    PyObject *count = Py_None, *out = Py_None;
    Py_ssize_t nkw = kwnames ? PyTuple_Size(kwnames) : 0;
    const char *name = call_name(acc, by_kind);
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        PyObject *key = PyTuple_GetItem(kwnames, i);
        int is_count = key == s_count, is_out = key == s_out; /* interned: the usual case */
        if (!is_count && !is_out) {
            is_count = !PyUnicode_CompareWithASCIIString(key, "count");
            is_out = !PyUnicode_CompareWithASCIIString(key, "out");
        }
        if (is_count)
            count = args[nargs + i];
        else if (is_out && !setter)
            out = args[nargs + i];
        else
            return PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                                name, key);
    }
    if (nargs != wanted)
        return PyErr_Format(PyExc_TypeError,
                            "%s() takes %zd positional arguments but %zd were given (count%s are "
                            "keyword-only)",
                            name, wanted, nargs, setter ? " is" : " and out");
    if (Py_TYPE(args[0]) != records_type)
        return PyErr_Format(
            PyExc_TypeError,
            "records must be a tovakwrapper.Records (the records with their shape)");
    Records *r = (Records *)args[0];
    PyObject *buffer = setter ? args[1] : out;
    Args x = {r->count, 0, 0, 0, 0};
    const int ai = 1 + setter; /* the first index argument */
    if (by_kind && PyUnicode_Check(args[ai])) {
        for (x.a = 0;
             x.a < MI_KIND_COUNT && PyUnicode_CompareWithASCIIString(args[ai], kinds[x.a].name);)
            ++x.a;
        if (x.a == MI_KIND_COUNT)
            return PyErr_Format(PyExc_ValueError, "kind %R is not the name of a tovakwrapper.KIND",
                                args[ai]);
    } else if (index_of(args[ai], by_kind ? "kind" : acc->a_name, &x.a, &x.a_big)) {
        return NULL;
    }
    if ((acc->entry || by_kind) &&
        index_of(args[ai + 1], by_kind ? "field" : acc->b_name, &x.b, &x.b_big))
        return NULL;
    if (count != Py_None) {
        long long n;
        int big;
        if (index_of(count, "count", &n, &big)) return NULL;
        if (out_of_range("count", n, big, 0, r->count,
                         r->count ? "the number of records" : "these records are empty"))
            return NULL;
        x.n = (uint32_t)n;
    }
    PyObject *result = NULL;
    if (!setter && out == Py_None) { /* a new array, filled by the call */
        if (!allocator) return PyErr_Format(PyExc_RuntimeError, "import tovakwrapper first");
        result = PyObject_CallFunction(allocator, "iI", acc->element, x.n);
        if (!result) return NULL;
        buffer = result;
    } else if (!setter) {
        Py_INCREF(out);
        result = out;
    }
    const int listed = Py_TYPE(self) == calls_type;
    int raw = 0;
    Py_buffer local, *view = NULL;
    if (buffer != Py_None && !(setter && acc->kind == MI_KIND_FLAG)) {
        /* miCommandSetFlag never reads its values: they are not taken. A list
         * keeps the export where it was made. */
        view = listed ? PyMem_Malloc(sizeof *view) : &local;
        if (!view) {
            Py_XDECREF(result);
            return PyErr_NoMemory();
        }
        raw = Py_TYPE(buffer) == raw_type;
        if (PyObject_GetBuffer(raw ? ((Raw *)buffer)->buffer : buffer, view, PyBUF_RECORDS_RO) <
            0) {
            if (listed) PyMem_Free(view);
            PyObject *cause;
            if (export_refused(&cause)) {
                PyObject *type = PyType_GetName(Py_TYPE(raw ? ((Raw *)buffer)->buffer : buffer));
                if (type)
                    PyErr_Format(PyExc_TypeError,
                                 "%s is a %U; this call takes a buffer (numpy array, "
                                 "array.array, ctypes array, memoryview) of %s",
                                 setter ? "values" : "out", type, elements[acc->element].name);
                Py_XDECREF(type);
                export_refused_done(cause);
            }
            Py_XDECREF(result);
            return NULL;
        }
    }
    MiCall call;
    Watch watch;
    int failed = check(acc, by_kind, r, &x, view, raw, &call, &watch);
    if (!failed && listed)
        failed = append((CallList *)self, acc, by_kind, raw, r, &x, view, &call, &watch);
    else if (!failed)
        invoke(&call);
    if (view && (!listed || failed)) {
        PyBuffer_Release(view);
        if (listed) PyMem_Free(view);
    }
    if (failed) Py_CLEAR(result);
    if (!failed && !result) Py_RETURN_NONE;
    return result;
}

/* One entry point per accessor, generated from the list, for the method tables. */
#define TRAMPOLINE(value, ID, function, name, ...)                                     \
    static PyObject *m_##name(PyObject *self, PyObject *const *args, Py_ssize_t nargs, \
                              PyObject *kwnames) {                                     \
        return dispatch(self, value - 1, args, nargs, kwnames);                        \
    }
MI_ACCESSORS(TRAMPOLINE)
#define BY_KIND_TRAMPOLINE(message, ID)                                                         \
    static PyObject *m_##message##_has(PyObject *self, PyObject *const *args, Py_ssize_t nargs, \
                                       PyObject *kwnames) {                                     \
        return dispatch(self, (MI_CALL_##ID - 1) | BY_KIND, args, nargs, kwnames);              \
    }
BY_KIND_TRAMPOLINE(command, COMMAND_HAS_FIELD)
BY_KIND_TRAMPOLINE(feedback, FEEDBACK_HAS_FIELD)
BY_KIND_TRAMPOLINE(info, INFO_HAS_FIELD)

#define FASTCALL METH_FASTCALL | METH_KEYWORDS
#define METHOD(value, ID, function, name, MESSAGE, OP, FAMILY, KIND, ARGS, T)      \
    {#name, (PyCFunction)(void (*)(void))m_##name, FASTCALL,                       \
     #name "($self, " SIGNATURE_##OP(NAMES_##ARGS(KIND, OP)) ")\n--\n\n" #function \
                                                             ", checked:" SAYS_##OP},
#define BY_KIND_METHOD(message, Message)                                        \
    {#message "_has", (PyCFunction)(void (*)(void))m_##message##_has, FASTCALL, \
     #message                                                                   \
     "_has($self, records, kind, field, /, *, count=None, out=None)\n--\n\n"    \
     "Writes 1 or 0 per " Message                                               \
     " message into out (a new array when out is None):"                        \
     " whether presence bit base[kind] + field of the " Message                 \
     " metadata is set. "                                                       \
     "kind: a tovakwrapper.KIND or its name."},
#define ACCESSOR_METHODS               \
    MI_ACCESSORS(METHOD)               \
    BY_KIND_METHOD(command, "Command") \
    BY_KIND_METHOD(feedback, "Feedback") BY_KIND_METHOD(info, "Info")

/* ---- the library: initialize(), presence_bit(), calls() ----------------------- */

static int read_metadata(PyObject *meta, const char *label, MessageMetadata *copy,
                         PyObject *tables[2], Py_ssize_t lengths[2]) {
    if (Py_TYPE(meta) != metadata_type)
        return PyErr_Format(PyExc_TypeError,
                            "%s must be a tovakwrapper.MessageMetadata (not a subclass)", label),
               -1;
    Py_buffer view;
    if (PyObject_GetBuffer(meta, &view, PyBUF_SIMPLE) < 0) return -1;
    int bad = view.len != (Py_ssize_t)sizeof *copy;
    if (!bad)
        memcpy(copy, view.buf, sizeof *copy); /* what the library copies and the checks read */
    PyBuffer_Release(&view);
    if (bad) return PyErr_Format(PyExc_ValueError, "%s is not %zu bytes", label, sizeof *copy), -1;
    /* MessageMetadata remembers the arrays assigned to its tables: a table
     * is known when one of them is a c_int32 array at the pointer's address. */
    PyObject *given = PyObject_GetAttrString(meta, "_given_tables");
    if (!given) PyErr_Clear();
    const int32_t *pointers[2] = {copy->numberedFloatTable, copy->pinBankTable};
    for (int which = 0; which < 2; ++which) {
        PyObject *table =
            given && PyDict_Check(given) ? PyDict_GetItemString(given, table_names[which]) : NULL;
        lengths[which] = -1;
        tables[which] = NULL;
        if (!pointers[which] || !table || PyObject_GetBuffer(table, &view, PyBUF_RECORDS_RO) < 0) {
            PyErr_Clear();
            continue;
        }
        if (view.buf == pointers[which] && view.ndim == 1 && view.itemsize == 4 &&
            scalar(view.format, 'i') && PyBuffer_IsContiguous(&view, 'C') &&
            view.shape[0] * 4 == view.len) {
            lengths[which] = view.shape[0];
            Py_INCREF(table);
            tables[which] = table;
        }
        PyBuffer_Release(&view);
    }
    Py_XDECREF(given);
    return 0;
}

static PyObject *initialize(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
    static const char *const labels[] = {"command", "feedback", "info"};
    MessageMetadata copies[3];
    PyObject *tables[3][2] = {{NULL}};
    Py_ssize_t lengths[3][2];
    (void)self;
    if (nargs != 3)
        return PyErr_Format(PyExc_TypeError, "initialize() takes command, feedback and info");
    for (int m = 0; m < 3; ++m)
        if (read_metadata(args[m], labels[m], &copies[m], tables[m], lengths[m])) {
            for (int k = 0; k < m; ++k) Py_XDECREF(tables[k][0]), Py_XDECREF(tables[k][1]);
            return NULL;
        }
    /* One step, no Python: the library's copies and the module's. */
    miInitialize(&copies[0], &copies[1], &copies[2]);
    for (int m = 0; m < 3; ++m) {
        memcpy(mirror.base[m], copies[m].base, sizeof mirror.base[m]);
        mirror.table[m][0] = copies[m].numberedFloatTable;
        mirror.table[m][1] = copies[m].pinBankTable;
        for (int which = 0; which < 2; ++which) {
            PyObject *old = mirror.held[m][which];
            mirror.held[m][which] = tables[m][which];
            mirror.length[m][which] = lengths[m][which];
            tables[m][which] = old;
        }
    }
    ++mirror.epoch;
    /* Then what was replaced, whose finalizers may run. */
    for (int m = 0; m < 3; ++m) Py_XDECREF(tables[m][0]), Py_XDECREF(tables[m][1]);
    Py_RETURN_NONE;
}

static PyObject *presence_bit(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
    long long kind, field;
    int message = -1, kind_big = 0, field_big;
    (void)self;
    if (nargs != 3)
        return PyErr_Format(PyExc_TypeError, "presence_bit() takes message, kind and field");
    for (int m = 0; m < 3; ++m)
        if (PyUnicode_Check(args[0]) && !PyUnicode_CompareWithASCIIString(args[0], messages[m]))
            message = m;
    if (message < 0)
        return PyErr_Format(PyExc_ValueError,
                            "message must be 'command', 'feedback' or 'info', not %R", args[0]);
    if (PyUnicode_Check(args[1])) {
        for (kind = 0;
             kind < MI_KIND_COUNT && PyUnicode_CompareWithASCIIString(args[1], kinds[kind].name);)
            ++kind;
        if (kind == MI_KIND_COUNT)
            return PyErr_Format(PyExc_ValueError, "kind %R is not the name of a tovakwrapper.KIND",
                                args[1]);
    } else if (index_of(args[1], "kind", &kind, &kind_big)) {
        return NULL;
    }
    if (index_of(args[2], "field", &field, &field_big) ||
        out_of_range("kind", kind, kind_big, 0, MI_KIND_COUNT - 1, "a tovakwrapper.KIND") ||
        out_of_range("field", field, field_big, 0, UINT32_MAX, ""))
        return NULL;
    if (!mirror.epoch)
        return PyErr_Format(PyExc_RuntimeError,
                            "presence_bit reads the metadata: call initialize() first");
    return PyLong_FromUnsignedLong((uint32_t)(mirror.base[message][kind] + (uint32_t)field));
}

static PyObject *new_list(PyObject *self, PyObject *unused) {
    (void)self, (void)unused;
    return PyType_GenericAlloc(calls_type, 0);
}

/* clang-format off */
static PyMethodDef library_methods[] = {
    ACCESSOR_METHODS
    {"initialize", (PyCFunction)(void (*)(void))initialize, METH_FASTCALL,
     "initialize($self, command, feedback, info, /)\n--\n\n"
     "Passes the three tovakwrapper.MessageMetadata records to the library (miInitialize). The "
     "library copies them and keeps reading their tables; so does this module, which keeps the "
     "c_int32 arrays assigned to the tables alive until the next initialize()."},
    {"presence_bit", (PyCFunction)(void (*)(void))presence_bit, METH_FASTCALL,
     "presence_bit($self, message, kind, field, /)\n--\n\n"
     "The absolute presence bit of field `field` of `kind` (a tovakwrapper.KIND or its name) "
     "in 'command', 'feedback' or 'info' messages: base[kind] + field, modulo 2^32, of that "
     "metadata, what the has_field calls take. RuntimeError before initialize()."},
    {"calls", new_list, METH_NOARGS,
     "calls($self, /)\n--\n\nA new, empty tovakwrapper.CallList."},
    {NULL, NULL, 0, NULL}};
static PyMethodDef list_methods[] = {ACCESSOR_METHODS {NULL, NULL, 0, NULL}};
/* clang-format on */

static PyMemberDef raw_members[] = {{"buffer", T_OBJECT_EX, offsetof(Raw, buffer), READONLY, NULL},
                                    {NULL, 0, 0, 0, NULL}};
static PyGetSetDef records_getset[] = {
    {"shape", records_get, NULL, "The Shape given.", (void *)0},
    {"message", records_get, NULL, "'command', 'feedback', 'info' or None.", (void *)1},
    {"count", records_get, NULL, "The number of records.", (void *)2},
    {"address", records_get, NULL, "The address of the module's copy of the records.", (void *)3},
    {NULL, NULL, NULL, NULL, NULL}};

static PyType_Slot records_slots[] = {
    {Py_tp_new, records_new},
    {Py_tp_dealloc, records_dealloc},
    {Py_tp_repr, records_repr},
    {Py_tp_getset, records_getset},
    {Py_sq_length, records_len},
    {Py_bf_getbuffer, records_getbuffer},
    {Py_tp_doc,
     "Records(records, shape, message=None)\n--\n\n"
     "A copy of an array of MessageRecords (any buffer of whole 96-byte records) with the Shape "
     "of the messages they point to and, optionally, their message: 'command', 'feedback' or "
     "'info' (then the calls of another message refuse them). It cannot be changed, and keeps "
     "alive the arrays a ctypes source's pointers were assigned."},
    {0, NULL}};
static PyType_Slot calls_slots[] = {
    {Py_tp_dealloc, calls_dealloc},
    {Py_tp_call, calls_run},
    {Py_tp_methods, list_methods},
    {Py_sq_length, calls_len},
    {Py_tp_doc,
     "Accessor calls checked as they are added (same methods and arguments as the library's; a "
     "getter returns the out it will fill) and run in order by one native call, "
     "miRunCalls, when the list is called. Before a run, the calls are checked again when "
     "initialize() was called or a table entry one of them reads changed since; the list holds "
     "every buffer it was given."},
    {0, NULL}};
static PyType_Slot raw_slots[] = {
    {Py_tp_new, raw_new},
    {Py_tp_dealloc, raw_dealloc},
    {Py_tp_members, raw_members},
    {Py_tp_doc,
     "Raw(buffer)\n--\n\nMarks a buffer whose bytes are passed whatever its format: its size "
     "must be a whole number of elements."},
    {0, NULL}};
static PyType_Slot library_slots[] = {{Py_tp_methods, library_methods},
                                      {Py_tp_doc, "The library: a checked method per accessor."},
                                      {0, NULL}};

#define TYPE_SPEC(name, type, flags, slots) \
    { "tovakwrapper." name, sizeof(type), 0, Py_TPFLAGS_DEFAULT | (flags), slots }
static PyType_Spec records_spec = TYPE_SPEC("Records", Records, 0, records_slots);
static PyType_Spec calls_spec =
    TYPE_SPEC("CallList", CallList, Py_TPFLAGS_DISALLOW_INSTANTIATION, calls_slots);
static PyType_Spec raw_spec = TYPE_SPEC("Raw", Raw, 0, raw_slots);
static PyType_Spec library_spec =
    TYPE_SPEC("Library", PyObject, Py_TPFLAGS_BASETYPE, library_slots);

static PyObject *set_allocator(PyObject *module, PyObject *callable) {
    (void)module;
    PyObject *old = allocator;
    Py_INCREF(callable);
    allocator = callable;
    Py_XDECREF(old);
    Py_RETURN_NONE;
}

static PyMethodDef module_methods[] = {
    {"_set_allocator", set_allocator, METH_O, "Sets what makes the out of a getter without out=."},
    {NULL, NULL, 0, NULL}};

static struct PyModuleDef module = {PyModuleDef_HEAD_INIT,
                                    "tovakwrapper._native",
                                    "The checked calls of tovakwrapper.",
                                    -1,
                                    module_methods,
                                    NULL,
                                    NULL,
                                    NULL,
                                    NULL};

/* The tables the Python side builds from: the accessors, their element types,
 * the kinds; the version; where the library the module calls is. */
static PyObject *tables(void) {
    static const char *const ops[] = {"SET", "GET", "HAS"};
    PyObject *rows = PyTuple_New(MI_ACCESSOR_COUNT), *types = PyTuple_New(ELEMENT_COUNT),
             *names = PyTuple_New(MI_KIND_COUNT);
    for (int i = 0; rows && i < MI_ACCESSOR_COUNT; ++i) {
        const Accessor *a = &accessors[i];
        PyTuple_SetItem(rows, i,
                        Py_BuildValue("(Issssii)", a->value, a->function, a->name,
                                      messages[a->message], ops[a->op], a->entry, a->element));
    }
    for (int i = 0; types && i < ELEMENT_COUNT; ++i)
        PyTuple_SetItem(types, i,
                        Py_BuildValue("(szni)", elements[i].type, elements[i].typecode,
                                      elements[i].width, elements[i].columns));
    for (int k = 0; names && k < MI_KIND_COUNT; ++k)
        PyTuple_SetItem(names, k, Py_BuildValue("(si)", kinds[k].name, k));
    Dl_info library, calls;
    int found = dladdr((void *)(uintptr_t)miInitialize, &library) &&
                dladdr((void *)(uintptr_t)miRunCalls, &calls);
    if (!found) return PyErr_Format(PyExc_ImportError, "the library's path is not known");
#define VERSION_STRING(x) #x
#define VERSION(major, minor, patch) \
    VERSION_STRING(major) "." VERSION_STRING(minor) "." VERSION_STRING(patch)
    return Py_BuildValue(
        "{sNsNsNsssssssK}", "ACCESSORS", rows, "ELEMENTS", types, "KINDS", names, "__version__",
        VERSION(TOVAKWRAPPER_VERSION_MAJOR, TOVAKWRAPPER_VERSION_MINOR, TOVAKWRAPPER_VERSION_PATCH),
        "LIBRARY", library.dli_fname, "CALLS_LIBRARY", calls.dli_fname, "INITIALIZE_ADDRESS",
        (unsigned long long)(uintptr_t)miInitialize);
}

PyMODINIT_FUNC PyInit__native(void) {
    PyObject *m = PyModule_Create(&module), *layouts = NULL, *values = NULL;
    if (!m) return NULL;
    s_count = PyUnicode_InternFromString("count");
    s_out = PyUnicode_InternFromString("out");
    layouts = PyImport_ImportModule("tovakwrapper._layouts");
    if (!s_count || !s_out || !layouts) goto fail;
    shape_type = (PyTypeObject *)PyObject_GetAttrString(layouts, "Shape");
    metadata_type = (PyTypeObject *)PyObject_GetAttrString(layouts, "MessageMetadata");
    records_type = (PyTypeObject *)PyType_FromSpec(&records_spec);
    calls_type = (PyTypeObject *)PyType_FromSpec(&calls_spec);
    raw_type = (PyTypeObject *)PyType_FromSpec(&raw_spec);
    PyObject *library = PyType_FromSpec(&library_spec);
    if (!shape_type || !metadata_type || !records_type || !calls_type || !raw_type || !library ||
        PyModule_AddObjectRef(m, "Records", (PyObject *)records_type) ||
        PyModule_AddObjectRef(m, "CallList", (PyObject *)calls_type) ||
        PyModule_AddObjectRef(m, "Raw", (PyObject *)raw_type) ||
        PyModule_AddObject(m, "Library", library))
        goto fail;
    for (int i = 0; i < MI_ACCESSOR_COUNT; ++i)
        if (accessors[i].value != (uint32_t)i + 1) {
            PyErr_SetString(PyExc_ImportError, "the accessor list is not in call-list order");
            goto fail;
        }
    values = tables();
    if (!values) goto fail;
    PyObject *key, *value;
    Py_ssize_t at = 0;
    while (PyDict_Next(values, &at, &key, &value))
        if (PyModule_AddObjectRef(m, PyUnicode_AsUTF8AndSize(key, NULL), value)) goto fail;
    Py_DECREF(values);
    Py_DECREF(layouts);
    return m;
fail:
    Py_XDECREF(values);
    Py_XDECREF(layouts);
    Py_DECREF(m);
    return NULL;
}
