// A stand-in for the interpreter's DLL (python3X.dll), for running
// quorin.pyd on a machine without a Windows CPython. It implements exactly
// the interpreter functions and data that the module imports, over the
// object and type layouts of the CPython headers the module was built with,
// and counts every object it hands out so that a check can
// see that everything came back. It is a test double, not an interpreter:
// no garbage collector, no attribute lookup, only the argument and value
// formats the module uses.
#define QUORIN_STANDIN_BUILD
#include "standin.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

namespace {

long liveObjects = 0;
long lockReleases = 0;

// The size of a variable-size object, set and read in place: from 3.13 on
// the headers' Py_SET_SIZE and Py_SIZE assert against the interpreter's own
// int and bool types, which a stand-in does not have.
template <class T>
void setVarSize(T *object, Py_ssize_t size) {
    reinterpret_cast<PyVarObject *>(object)->ob_size = size;
}
template <class T>
Py_ssize_t varSize(T *object) {
    return reinterpret_cast<PyVarObject *>(object)->ob_size;
}

// Static objects are never freed: a count no scenario can bring to zero.
const Py_ssize_t immortal = Py_ssize_t(1) << 28;

PyObject *allocateObject(PyTypeObject *type, size_t size) {
    auto *object = static_cast<PyObject *>(std::calloc(1, size));
    if (!object)
        return nullptr;
    Py_SET_REFCNT(object, 1);
    Py_SET_TYPE(object, type);
    if (type->tp_flags & Py_TPFLAGS_HEAPTYPE)
        Py_INCREF(reinterpret_cast<PyObject *>(type));
    ++liveObjects;
    return object;
}

void freeObject(void *memory) {
    if (!memory)
        return;
    --liveObjects;
    std::free(memory);
}

// The end of every dealloc: frees the memory and drops the reference a heap
// type's instance holds to its type.
void freeInstance(PyObject *object) {
    PyTypeObject *type = Py_TYPE(object);
    type->tp_free(object);
    if (type->tp_flags & Py_TPFLAGS_HEAPTYPE)
        Py_DECREF(reinterpret_cast<PyObject *>(type));
}

void plainDealloc(PyObject *object) { freeInstance(object); }

PyTypeObject metaType = {};
PyTypeObject noneType = {};
PyTypeObject intType = {};
PyTypeObject strType = {};
PyTypeObject bytesType = {};
PyTypeObject tupleType = {};
PyTypeObject dictType = {};
PyTypeObject listType = {};
PyTypeObject moduleType = {};
PyTypeObject functionType = {};
PyTypeObject capsuleType = {};
PyTypeObject boolType = {};
PyTypeObject typeError = {};
PyTypeObject overflowError = {};
PyTypeObject memoryError = {};
PyTypeObject systemError = {};
PyTypeObject unicodeDecodeError = {};

struct IntObject {
    PyObject_HEAD
    long long value;
};

struct StrObject {
    PyObject_VAR_HEAD
    char utf8[1];
};

struct DictObject {
    PyObject_HEAD
    std::vector<std::pair<std::string, PyObject *>> *items;
};

struct CapsuleObject {
    PyObject_HEAD
    void *pointer;
    const char *name;
    PyCapsule_Destructor destructor;
};

struct ListObject {
    PyObject_HEAD
    std::vector<PyObject *> *items;
};

struct ModuleObject {
    PyObject_HEAD
    PyModuleDef *definition;
    PyObject *dict;
    void *state;
};

// A module function. It points at its module without a reference: the
// module owns its dict, which owns the function, and with no collector to
// break a cycle the module must not be owned back.
struct FunctionObject {
    PyObject_HEAD
    PyMethodDef *definition;
    PyObject *self;
};

PyObject *pendingType = nullptr;
PyObject *pendingValue = nullptr;

std::vector<PyTypeObject *> readiedTypes;
std::vector<void (*)(void)> exitHooks;
// As in CPython: at most 32 exit hooks.
const size_t maxExitHooks = 32;

PyObject *newStr(const char *utf8, size_t length) {
    auto *object = reinterpret_cast<StrObject *>(allocateObject(&strType, sizeof(StrObject) + length));
    if (!object)
        return nullptr;
    setVarSize(object, static_cast<Py_ssize_t>(length));
    std::memcpy(object->utf8, utf8, length);
    object->utf8[length] = '\0';
    return reinterpret_cast<PyObject *>(object);
}

void setError(PyTypeObject *type, const char *message) {
    StandIn_ClearError();
    pendingType = reinterpret_cast<PyObject *>(type);
    Py_INCREF(pendingType);
    pendingValue = message ? newStr(message, std::strlen(message)) : nullptr;
}

PyObject *noMemory() {
    setError(&memoryError, nullptr);
    return nullptr;
}

// What every type inherits from object as its tp_alloc.
PyObject *genericAlloc(PyTypeObject *type, Py_ssize_t) {
    PyObject *object = allocateObject(type, static_cast<size_t>(type->tp_basicsize));
    return object ? object : noMemory();
}

void setErrorFormat(PyTypeObject *type, const char *format, ...) {
    char message[300];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    setError(type, message);
}

bool validUtf8(const unsigned char *text, size_t length) {
    for (size_t i = 0; i < length;) {
        unsigned char c = text[i];
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 4;
        if (extra > 3 || length - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((text[i + k] & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

PyObject *newBytes(const char *data, Py_ssize_t size) {
    auto *object = reinterpret_cast<PyBytesObject *>(
        allocateObject(&bytesType, offsetof(PyBytesObject, ob_sval) + static_cast<size_t>(size) + 1));
    if (!object)
        return nullptr;
    setVarSize(object, size);
    if (data)
        std::memcpy(object->ob_sval, data, static_cast<size_t>(size));
    object->ob_sval[size] = '\0';
    return reinterpret_cast<PyObject *>(object);
}

PyObject *newTuple(Py_ssize_t count) {
    auto *object = reinterpret_cast<PyTupleObject *>(
        allocateObject(&tupleType, sizeof(PyTupleObject) + sizeof(PyObject *) * static_cast<size_t>(count)));
    if (object)
        setVarSize(object, count);
    return reinterpret_cast<PyObject *>(object);
}

void tupleDealloc(PyObject *object) {
    auto *tuple = reinterpret_cast<PyTupleObject *>(object);
    for (Py_ssize_t i = 0; i < varSize(tuple); ++i)
        Py_XDECREF(tuple->ob_item[i]);
    freeInstance(object);
}

void dictDealloc(PyObject *object) {
    auto *dict = reinterpret_cast<DictObject *>(object);
    for (auto &item : *dict->items)
        Py_DECREF(item.second);
    delete dict->items;
    freeInstance(object);
}

void capsuleDealloc(PyObject *object) {
    auto *capsule = reinterpret_cast<CapsuleObject *>(object);
    if (capsule->destructor)
        capsule->destructor(object);
    freeInstance(object);
}

// Each thread's state's dictionary, made when first asked for and dropped
// by StandIn_EndThread on that thread, as CPython's thread states are.
thread_local PyObject *threadDict = nullptr;

void listDealloc(PyObject *object) {
    auto *list = reinterpret_cast<ListObject *>(object);
    for (PyObject *item : *list->items)
        Py_DECREF(item);
    delete list->items;
    freeInstance(object);
}

void moduleDealloc(PyObject *object) {
    auto *module = reinterpret_cast<ModuleObject *>(object);
    // What the collector and the module's own dealloc would do: clear, free.
    if (module->definition->m_clear)
        module->definition->m_clear(object);
    if (module->definition->m_free)
        module->definition->m_free(object);
    Py_XDECREF(module->dict);
    std::free(module->state);
    freeInstance(object);
}

void heapTypeDealloc(PyObject *object) {
    auto *type = reinterpret_cast<PyTypeObject *>(object);
    std::free(const_cast<char *>(type->tp_name));
    freeObject(object);
}

// kind: the flag by which the interpreter's own checks (PyBytes_Check and
// the like, which the module's inline calls use) recognise the type.
void prepareType(PyTypeObject &type, const char *name, Py_ssize_t size, destructor dealloc, unsigned long kind = 0) {
    Py_SET_REFCNT(reinterpret_cast<PyObject *>(&type), immortal);
    Py_SET_TYPE(reinterpret_cast<PyObject *>(&type), &metaType);
    type.tp_name = name;
    type.tp_basicsize = size;
    type.tp_dealloc = dealloc;
    type.tp_free = freeObject;
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_READY | kind;
}

void prepareTypes() {
    if (metaType.tp_name)
        return;
    prepareType(metaType, "type", sizeof(PyTypeObject), heapTypeDealloc, Py_TPFLAGS_TYPE_SUBCLASS);
    prepareType(noneType, "NoneType", sizeof(PyObject), plainDealloc);
    prepareType(intType, "int", sizeof(IntObject), plainDealloc, Py_TPFLAGS_LONG_SUBCLASS);
    prepareType(strType, "str", sizeof(StrObject), plainDealloc, Py_TPFLAGS_UNICODE_SUBCLASS);
    prepareType(bytesType, "bytes", sizeof(PyBytesObject), plainDealloc, Py_TPFLAGS_BYTES_SUBCLASS);
    prepareType(tupleType, "tuple", sizeof(PyTupleObject), tupleDealloc, Py_TPFLAGS_TUPLE_SUBCLASS);
    prepareType(dictType, "dict", sizeof(DictObject), dictDealloc, Py_TPFLAGS_DICT_SUBCLASS);
    prepareType(listType, "list", sizeof(ListObject), listDealloc, Py_TPFLAGS_LIST_SUBCLASS);
    prepareType(moduleType, "module", sizeof(ModuleObject), moduleDealloc);
    prepareType(functionType, "builtin_function_or_method", sizeof(FunctionObject), plainDealloc);
    prepareType(capsuleType, "PyCapsule", sizeof(CapsuleObject), capsuleDealloc);
    prepareType(boolType, "bool", sizeof(PyLongObject), plainDealloc, Py_TPFLAGS_LONG_SUBCLASS);
    const std::pair<PyTypeObject *, const char *> exceptions[] = {
        {&typeError, "TypeError"},     {&overflowError, "OverflowError"},           {&memoryError, "MemoryError"},
        {&systemError, "SystemError"}, {&unicodeDecodeError, "UnicodeDecodeError"},
    };
    for (const auto &exception : exceptions)
        prepareType(*exception.first, exception.second, sizeof(PyObject), plainDealloc, Py_TPFLAGS_BASE_EXC_SUBCLASS);
}

// Value building: the formats of Py_BuildValue that the module uses, with
// "#" lengths as Py_ssize_t.
PyObject *buildItem(const char **format, va_list *args);

PyObject *buildTuple(const char **format, va_list *args, char close) {
    std::vector<PyObject *> items;
    bool failed = false;
    while (**format && **format != close) {
        if (**format == ',' || **format == ' ') {
            ++*format;
            continue;
        }
        PyObject *item = buildItem(format, args);
        if (!item)
            failed = true;
        items.push_back(item);
    }
    if (**format != close) {
        setError(&systemError, "unmatched paren in format");
        failed = true;
    } else if (close) {
        ++*format;
    }
    PyObject *tuple = failed ? nullptr : newTuple(static_cast<Py_ssize_t>(items.size()));
    if (!tuple) {
        for (PyObject *item : items)
            Py_XDECREF(item);
        return nullptr;
    }
    for (size_t i = 0; i < items.size(); ++i)
        reinterpret_cast<PyTupleObject *>(tuple)->ob_item[i] = items[i];
    return tuple;
}

// An empty dict; null when out of memory.
PyObject *newDict() {
    PyObject *dict = allocateObject(&dictType, sizeof(DictObject));
    if (dict)
        reinterpret_cast<DictObject *>(dict)->items = new std::vector<std::pair<std::string, PyObject *>>;
    return dict;
}

// "{key:value,...}": text keys only, as the module gives them.
PyObject *buildDict(const char **format, va_list *args) {
    PyObject *dict = newDict();
    bool failed = !dict;
    while (**format && **format != '}') {
        if (**format == ',' || **format == ' ') {
            ++*format;
            continue;
        }
        PyObject *key = buildItem(format, args);
        PyObject *value = **format == ':' ? (++*format, buildItem(format, args)) : nullptr;
        const char *text = nullptr;
        if (!failed && key && value && StandIn_StrValue(key, &text))
            failed = PyDict_SetItemString(dict, text, value) != 0;
        else
            failed = true;
        Py_XDECREF(key);
        Py_XDECREF(value);
    }
    if (**format == '}')
        ++*format;
    else if (!failed)
        setError(&systemError, "unmatched brace in format"), failed = true;
    if (failed) {
        Py_XDECREF(dict);
        if (!pendingType)
            setError(&systemError, "stand-in: bad dict format");
        return nullptr;
    }
    return dict;
}

PyObject *buildItem(const char **format, va_list *args) {
    char code = *(*format)++;
    switch (code) {
    case '(':
        return buildTuple(format, args, ')');
    case '{':
        return buildDict(format, args);
    case 'i':
        return StandIn_Int(va_arg(*args, int));
    case 'l':
        return StandIn_Int(va_arg(*args, long));
    case 's': {
        const char *text = va_arg(*args, const char *);
        if (!text) {
            Py_INCREF(Py_None);
            return Py_None;
        }
        size_t length = std::strlen(text);
        if (!validUtf8(reinterpret_cast<const unsigned char *>(text), length)) {
            setError(&unicodeDecodeError, "'utf-8' codec can't decode the text");
            return nullptr;
        }
        return newStr(text, length);
    }
    case 'N': {
        // Takes over the caller's reference.
        PyObject *object = va_arg(*args, PyObject *);
        if (!object && !pendingType)
            setError(&systemError, "NULL object passed to Py_BuildValue");
        return object;
    }
    case 'y': {
        const char *data = va_arg(*args, const char *);
        if (**format != '#') {
            setError(&systemError, "stand-in: 'y' without '#' is not supported");
            return nullptr;
        }
        ++*format;
        Py_ssize_t size = va_arg(*args, Py_ssize_t);
        if (size < 0 || !data) {
            setError(&systemError, "stand-in: bad bytes argument");
            return nullptr;
        }
        return newBytes(data, size);
    }
    default:
        setErrorFormat(&systemError, "stand-in: unsupported value format '%c'", code);
        return nullptr;
    }
}

// The interpreter's checks of an integer argument for 'i'.
bool parseInt(PyObject *argument, int *out) {
    long long value;
    if (!StandIn_IntValue(argument, &value)) {
        setErrorFormat(&typeError, "'%.200s' object cannot be interpreted as an integer", Py_TYPE(argument)->tp_name);
        return false;
    }
    if (value > INT_MAX || value < INT_MIN) {
        setError(&overflowError,
                 value > INT_MAX ? "signed integer is greater than maximum" : "signed integer is less than minimum");
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

int parseTuple(PyObject *args, const char *format, va_list out) {
    PyObject *const *items;
    Py_ssize_t given;
    if (!StandIn_TupleItems(args, &given, &items)) {
        setError(&systemError, "new style getargs format but argument is not a tuple");
        return 0;
    }
    const char *end = format + std::strcspn(format, ":;");
    const char *name = *end == ':' ? end + 1 : nullptr;
    Py_ssize_t wanted = end - format;
    for (const char *code = format; code < end; ++code) {
        if (*code != 'i' && *code != 'U' && *code != 'O') {
            setErrorFormat(&systemError, "stand-in: unsupported argument format '%c'", *code);
            return 0;
        }
    }
    if (given != wanted) {
        if (wanted == 1)
            setErrorFormat(&typeError, "%.200s%s takes exactly one argument (%d given)", name ? name : "function",
                           name ? "()" : "", static_cast<int>(given));
        else
            setErrorFormat(&typeError, "%.150s%s takes exactly %d argument%s (%d given)", name ? name : "function",
                           name ? "()" : "", static_cast<int>(wanted), wanted == 1 ? "" : "s", static_cast<int>(given));
        return 0;
    }
    bool parsed = true;
    for (Py_ssize_t i = 0; parsed && i < wanted; ++i) {
        const char *text;
        if (format[i] == 'i') {
            parsed = parseInt(items[i], va_arg(out, int *));
        } else if (format[i] == 'U' && !StandIn_StrValue(items[i], &text)) {
            setErrorFormat(&typeError, "%.150s() argument %d must be str, not %.50s", name ? name : "function",
                           static_cast<int>(i + 1), Py_TYPE(items[i])->tp_name);
            parsed = false;
        } else {
            *va_arg(out, PyObject **) = items[i]; // borrowed, as CPython gives it
        }
    }
    return parsed ? 1 : 0;
}

PyObject *buildValue(const char *format, va_list args) {
    // Items at the top level: one is returned as itself, several as a tuple.
    size_t count = 0;
    int depth = 0;
    for (const char *f = format; *f; ++f) {
        if (depth == 0 && *f != '#' && *f != ',' && *f != ' ' && *f != ')' && *f != '}')
            ++count;
        depth += (*f == '(' || *f == '{') - (*f == ')' || *f == '}');
    }
    if (count == 0) {
        Py_INCREF(Py_None);
        return Py_None;
    }
    va_list copy;
    va_copy(copy, args);
    PyObject *result = count == 1 ? buildItem(&format, &copy) : buildTuple(&format, &copy, '\0');
    va_end(copy);
    return result;
}

} // namespace

extern "C" {

PyObject _Py_NoneStruct = {};
PyLongObject _Py_FalseStruct = {};
PyLongObject _Py_TrueStruct = {};
PyObject *PyExc_TypeError = reinterpret_cast<PyObject *>(&typeError);

void _Py_Dealloc(PyObject *object) { Py_TYPE(object)->tp_dealloc(object); }

PyObject *PyBytes_FromStringAndSize(const char *data, Py_ssize_t size) {
    if (size < 0) {
        setError(&systemError, "Negative size passed to PyBytes_FromStringAndSize");
        return nullptr;
    }
    PyObject *bytes = newBytes(data, size);
    return bytes ? bytes : noMemory();
}

char *PyBytes_AsString(PyObject *object) {
    if (!object || Py_TYPE(object) != &bytesType) {
        setError(&typeError, "expected bytes");
        return nullptr;
    }
    return reinterpret_cast<PyBytesObject *>(object)->ob_sval;
}

// As CPython's: the C runtime's multibyte text in its current locale (on
// Windows the ANSI code page the interpreter set at start-up), strictly.
PyObject *PyUnicode_DecodeLocale(const char *text, const char *errors) {
    if (errors) {
        setError(&systemError, "stand-in: PyUnicode_DecodeLocale takes the strict handler only");
        return nullptr;
    }
    size_t units = std::mbstowcs(nullptr, text, 0);
    if (units == static_cast<size_t>(-1)) {
        setError(&unicodeDecodeError, "'locale' codec can't decode the text");
        return nullptr;
    }
    std::vector<wchar_t> wide(units + 1);
    std::mbstowcs(wide.data(), text, units + 1);
    int bytes =
        units ? WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(units), nullptr, 0, nullptr, nullptr) : 0;
    if (units && bytes <= 0) {
        setError(&unicodeDecodeError, "'locale' codec can't decode the text");
        return nullptr;
    }
    std::vector<char> utf8(static_cast<size_t>(bytes) + 1);
    if (bytes)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(units), utf8.data(), bytes, nullptr, nullptr);
    return newStr(utf8.data(), static_cast<size_t>(bytes));
}

PyObject *PyErr_NoMemory(void) { return noMemory(); }

void PyErr_Fetch(PyObject **type, PyObject **value, PyObject **traceback) {
    *type = pendingType;
    *value = pendingValue;
    *traceback = nullptr;
    pendingType = nullptr;
    pendingValue = nullptr;
}

void PyErr_Restore(PyObject *type, PyObject *value, PyObject *traceback) {
    StandIn_ClearError();
    pendingType = type;
    pendingValue = value;
    Py_XDECREF(traceback);
}

void PyErr_Clear(void) { StandIn_ClearError(); }

// The interpreter's lock: the host runs Python on one thread at a time, so
// letting the lock go and taking it back only has to balance, which the
// host checks.
PyThreadState *PyEval_SaveThread(void) {
    ++lockReleases;
    static char threadState;
    return reinterpret_cast<PyThreadState *>(&threadState);
}

void PyEval_RestoreThread(PyThreadState *) { --lockReleases; }

// Thread locks: a semaphore of one, which any thread may release.
PyThread_type_lock PyThread_allocate_lock(void) { return CreateSemaphoreA(nullptr, 1, 1, nullptr); }

void PyThread_free_lock(PyThread_type_lock lock) { CloseHandle(static_cast<HANDLE>(lock)); }

int PyThread_acquire_lock(PyThread_type_lock lock, int wait) {
    return WaitForSingleObject(static_cast<HANDLE>(lock), wait ? INFINITE : 0) == WAIT_OBJECT_0;
}

void PyThread_release_lock(PyThread_type_lock lock) { ReleaseSemaphore(static_cast<HANDLE>(lock), 1, nullptr); }

PyObject *PyList_New(Py_ssize_t size) {
    auto *list = reinterpret_cast<ListObject *>(allocateObject(&listType, sizeof(ListObject)));
    if (!list)
        return noMemory();
    list->items = new std::vector<PyObject *>(static_cast<size_t>(size), nullptr);
    return reinterpret_cast<PyObject *>(list);
}

int PyList_Append(PyObject *object, PyObject *item) {
    if (Py_TYPE(object) != &listType || !item) {
        setError(&systemError, "bad argument to PyList_Append");
        return -1;
    }
    Py_INCREF(item);
    reinterpret_cast<ListObject *>(object)->items->push_back(item);
    return 0;
}

void PyErr_SetString(PyObject *type, const char *message) { setError(reinterpret_cast<PyTypeObject *>(type), message); }

PyObject *PyErr_NewException(const char *name, PyObject *base, PyObject *dict) {
    if (base || dict) {
        setError(&systemError, "stand-in: PyErr_NewException takes no base and no dict");
        return nullptr;
    }
    if (!std::strchr(name, '.')) {
        setError(&systemError, "PyErr_NewException: name must be module.class");
        return nullptr;
    }
    auto *type = reinterpret_cast<PyTypeObject *>(allocateObject(&metaType, sizeof(PyTypeObject)));
    if (!type)
        return noMemory();
    type->tp_name = strdup(name);
    type->tp_basicsize = sizeof(PyObject);
    type->tp_dealloc = plainDealloc;
    type->tp_free = freeObject;
    type->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HEAPTYPE | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_READY |
                     Py_TPFLAGS_BASE_EXC_SUBCLASS;
    return reinterpret_cast<PyObject *>(type);
}

PyObject *PyDict_New(void) {
    PyObject *dict = newDict();
    return dict ? dict : noMemory();
}

PyObject *PyErr_Occurred(void) { return pendingType; }

unsigned long PyType_GetFlags(PyTypeObject *type) { return type->tp_flags; }

long PyLong_AsLongAndOverflow(PyObject *object, int *overflow) {
    *overflow = 0;
    long long value;
    if (object == reinterpret_cast<PyObject *>(&_Py_TrueStruct) ||
        object == reinterpret_cast<PyObject *>(&_Py_FalseStruct))
        return object == reinterpret_cast<PyObject *>(&_Py_TrueStruct);
    if (!StandIn_IntValue(object, &value)) {
        setErrorFormat(&typeError, "'%.200s' object cannot be interpreted as an integer", Py_TYPE(object)->tp_name);
        return -1;
    }
    if (value > LONG_MAX || value < LONG_MIN) {
        *overflow = value > 0 ? 1 : -1;
        return -1;
    }
    return static_cast<long>(value);
}

const char *PyUnicode_AsUTF8AndSize(PyObject *object, Py_ssize_t *size) {
    const char *text;
    if (!StandIn_StrValue(object, &text)) {
        setError(&typeError, "bad argument type for built-in operation");
        return nullptr;
    }
    if (size)
        *size = varSize(reinterpret_cast<StrObject *>(object));
    return text;
}

int PyUnicode_CompareWithASCIIString(PyObject *object, const char *ascii) {
    const char *text = "";
    StandIn_StrValue(object, &text);
    int order = std::strcmp(text, ascii);
    return order < 0 ? -1 : order > 0;
}

int PyDict_SetItemString(PyObject *object, const char *key, PyObject *value) {
    if (Py_TYPE(object) != &dictType) {
        setError(&systemError, "bad internal call");
        return -1;
    }
    auto &items = *reinterpret_cast<DictObject *>(object)->items;
    Py_INCREF(value);
    for (auto &item : items) {
        if (item.first == key) {
            Py_DECREF(item.second);
            item.second = value;
            return 0;
        }
    }
    items.emplace_back(key, value);
    return 0;
}

PyObject *PyModule_Create2(PyModuleDef *definition, int) {
    prepareTypes();
    auto *module = reinterpret_cast<ModuleObject *>(allocateObject(&moduleType, sizeof(ModuleObject)));
    if (!module)
        return noMemory();
    module->definition = definition;
    module->dict = newDict();
    if (definition->m_size > 0)
        module->state = std::calloc(1, static_cast<size_t>(definition->m_size));
    if (!module->dict || (definition->m_size > 0 && !module->state)) {
        Py_DECREF(reinterpret_cast<PyObject *>(module));
        return noMemory();
    }
    for (PyMethodDef *method = definition->m_methods; method && method->ml_name; ++method) {
        auto *function = reinterpret_cast<FunctionObject *>(allocateObject(&functionType, sizeof(FunctionObject)));
        if (!function) {
            Py_DECREF(reinterpret_cast<PyObject *>(module));
            return noMemory();
        }
        function->definition = method;
        function->self = reinterpret_cast<PyObject *>(module);
        PyDict_SetItemString(module->dict, method->ml_name, reinterpret_cast<PyObject *>(function));
        Py_DECREF(reinterpret_cast<PyObject *>(function));
    }
    return reinterpret_cast<PyObject *>(module);
}

PyObject *PyThreadState_GetDict(void) {
    if (!threadDict)
        threadDict = newDict();
    return threadDict;
}

unsigned long PyThread_get_thread_ident(void) { return GetCurrentThreadId(); }

PyObject *PyCapsule_New(void *pointer, const char *name, PyCapsule_Destructor destructor) {
    if (!pointer) {
        setError(&systemError, "PyCapsule_New called with null pointer");
        return nullptr;
    }
    auto *capsule = reinterpret_cast<CapsuleObject *>(allocateObject(&capsuleType, sizeof(CapsuleObject)));
    if (!capsule)
        return noMemory();
    capsule->pointer = pointer;
    capsule->name = name;
    capsule->destructor = destructor;
    return reinterpret_cast<PyObject *>(capsule);
}

void *PyCapsule_GetPointer(PyObject *object, const char *name) {
    auto *capsule = reinterpret_cast<CapsuleObject *>(object);
    if (Py_TYPE(object) != &capsuleType ||
        (capsule->name != name && (!capsule->name || !name || std::strcmp(capsule->name, name) != 0))) {
        setError(&systemError, "PyCapsule_GetPointer called with invalid PyCapsule object");
        return nullptr;
    }
    return capsule->pointer;
}

PyObject *PyModule_GetDict(PyObject *module) { return reinterpret_cast<ModuleObject *>(module)->dict; }

void *PyModule_GetState(PyObject *module) { return reinterpret_cast<ModuleObject *>(module)->state; }

PyObject *PyType_GenericNew(PyTypeObject *type, PyObject *, PyObject *) { return type->tp_alloc(type, 0); }

// A heap type from its PyType_Spec, with the slots the module gives, and what it
// does not give inherited from object.
PyObject *PyType_FromSpec(PyType_Spec *spec) {
    prepareTypes();
    if (spec->basicsize < static_cast<int>(sizeof(PyObject)) || spec->itemsize != 0) {
        setError(&systemError, "stand-in: a type without a size, or of variable size");
        return nullptr;
    }
    auto *type = reinterpret_cast<PyTypeObject *>(allocateObject(&metaType, sizeof(PyTypeObject)));
    if (!type)
        return noMemory();
    type->tp_name = strdup(spec->name);
    type->tp_basicsize = spec->basicsize;
    type->tp_flags = spec->flags | Py_TPFLAGS_HEAPTYPE | Py_TPFLAGS_READY;
    type->tp_alloc = genericAlloc;
    type->tp_free = freeObject;
    for (PyType_Slot *slot = spec->slots; slot->slot; ++slot) {
        switch (slot->slot) {
        case Py_tp_dealloc:
            type->tp_dealloc = reinterpret_cast<destructor>(slot->pfunc);
            break;
        case Py_tp_doc:
            type->tp_doc = static_cast<const char *>(slot->pfunc);
            break;
        case Py_tp_methods:
            type->tp_methods = static_cast<PyMethodDef *>(slot->pfunc);
            break;
        case Py_tp_new:
            type->tp_new = reinterpret_cast<newfunc>(slot->pfunc);
            break;
        default:
            Py_DECREF(reinterpret_cast<PyObject *>(type));
            setErrorFormat(&systemError, "stand-in: unsupported type slot %d", slot->slot);
            return nullptr;
        }
    }
    if (!type->tp_dealloc) {
        Py_DECREF(reinterpret_cast<PyObject *>(type));
        setError(&systemError, "stand-in: a type without dealloc");
        return nullptr;
    }
    readiedTypes.push_back(type);
    return reinterpret_cast<PyObject *>(type);
}

void *PyType_GetSlot(PyTypeObject *type, int slot) {
    switch (slot) {
    case Py_tp_alloc:
        return reinterpret_cast<void *>(type->tp_alloc);
    case Py_tp_free:
        return reinterpret_cast<void *>(type->tp_free);
    case Py_tp_dealloc:
        return reinterpret_cast<void *>(type->tp_dealloc);
    case Py_tp_new:
        return reinterpret_cast<void *>(type->tp_new);
    default:
        setErrorFormat(&systemError, "stand-in: unsupported type slot %d", slot);
        return nullptr;
    }
}

PyObject *_PyObject_New(PyTypeObject *type) {
    PyObject *object = allocateObject(type, static_cast<size_t>(type->tp_basicsize));
    return object ? object : noMemory();
}

int Py_AtExit(void (*hook)(void)) {
    if (exitHooks.size() >= maxExitHooks)
        return -1;
    exitHooks.push_back(hook);
    return 0;
}

// Named as a module calls them: the headers of 3.12 and before rename both to
// their _SizeT forms (PY_SSIZE_T_CLEAN), those of 3.13 keep the names. A
// module built on the stable ABI with older headers imports the _SizeT
// forms, which python3.dll keeps: a stand-in built with newer headers offers
// them too.
int PyArg_ParseTuple(PyObject *args, const char *format, ...) {
    va_list out;
    va_start(out, format);
    int parsed = parseTuple(args, format, out);
    va_end(out);
    return parsed;
}

PyObject *Py_BuildValue(const char *format, ...) {
    va_list args;
    va_start(args, format);
    PyObject *result = buildValue(format, args);
    va_end(args);
    return result;
}

#if PY_VERSION_HEX >= 0x030D0000
__declspec(dllexport) int _PyArg_ParseTuple_SizeT(PyObject *args, const char *format, ...) {
    va_list out;
    va_start(out, format);
    int parsed = parseTuple(args, format, out);
    va_end(out);
    return parsed;
}

__declspec(dllexport) PyObject *_Py_BuildValue_SizeT(const char *format, ...) {
    va_list args;
    va_start(args, format);
    PyObject *result = buildValue(format, args);
    va_end(args);
    return result;
}
#endif

} // extern "C"

// The host's side.

void StandIn_Initialize(void) {
    prepareTypes();
    Py_SET_REFCNT(&_Py_NoneStruct, immortal);
    Py_SET_TYPE(&_Py_NoneStruct, &noneType);
    for (PyLongObject *truth : {&_Py_FalseStruct, &_Py_TrueStruct}) {
        Py_SET_REFCNT(reinterpret_cast<PyObject *>(truth), immortal);
        Py_SET_TYPE(reinterpret_cast<PyObject *>(truth), &boolType);
    }
    // CPython sets LC_CTYPE from the user's locale at start-up, in the C
    // runtime that it and its extension modules share.
    std::setlocale(LC_CTYPE, "");
}

void StandIn_Finalize(void) {
    while (!exitHooks.empty()) {
        void (*hook)(void) = exitHooks.back();
        exitHooks.pop_back();
        hook();
    }
}

void StandIn_EndThread(void) {
    PyObject *dict = threadDict;
    threadDict = nullptr;
    Py_XDECREF(dict);
}

long StandIn_LiveObjects(void) { return liveObjects; }

long StandIn_LockReleases(void) { return lockReleases; }

PyObject *StandIn_Int(long long value) {
    auto *object = reinterpret_cast<IntObject *>(allocateObject(&intType, sizeof(IntObject)));
    if (!object)
        return noMemory();
    object->value = value;
    return reinterpret_cast<PyObject *>(object);
}

PyObject *StandIn_Str(const char *utf8) {
    PyObject *text = newStr(utf8, std::strlen(utf8));
    return text ? text : noMemory();
}

PyObject *StandIn_Tuple(Py_ssize_t count, PyObject *const *items) {
    PyObject *tuple = newTuple(count);
    if (!tuple)
        return noMemory();
    for (Py_ssize_t i = 0; i < count; ++i) {
        Py_INCREF(items[i]);
        reinterpret_cast<PyTupleObject *>(tuple)->ob_item[i] = items[i];
    }
    return tuple;
}

int StandIn_IntValue(PyObject *object, long long *value) {
    if (Py_TYPE(object) != &intType)
        return 0;
    *value = reinterpret_cast<IntObject *>(object)->value;
    return 1;
}

int StandIn_StrValue(PyObject *object, const char **utf8) {
    if (Py_TYPE(object) != &strType)
        return 0;
    *utf8 = reinterpret_cast<StrObject *>(object)->utf8;
    return 1;
}

int StandIn_BytesValue(PyObject *object, const char **data, Py_ssize_t *size) {
    if (Py_TYPE(object) != &bytesType)
        return 0;
    *data = reinterpret_cast<PyBytesObject *>(object)->ob_sval;
    *size = varSize(object);
    return 1;
}

int StandIn_TupleItems(PyObject *object, Py_ssize_t *count, PyObject *const **items) {
    if (!object || Py_TYPE(object) != &tupleType)
        return 0;
    *count = varSize(object);
    *items = reinterpret_cast<PyTupleObject *>(object)->ob_item;
    return 1;
}

int StandIn_DictItem(PyObject *dict, Py_ssize_t index, const char **key, PyObject **value) {
    if (Py_TYPE(dict) != &dictType)
        return 0;
    auto &items = *reinterpret_cast<DictObject *>(dict)->items;
    if (index < 0 || static_cast<size_t>(index) >= items.size())
        return 0;
    *key = items[static_cast<size_t>(index)].first.c_str();
    *value = items[static_cast<size_t>(index)].second;
    return 1;
}

int StandIn_ListItem(PyObject *list, Py_ssize_t index, PyObject **item) {
    if (!list || Py_TYPE(list) != &listType)
        return 0;
    auto &items = *reinterpret_cast<ListObject *>(list)->items;
    if (index < 0 || static_cast<size_t>(index) >= items.size())
        return 0;
    *item = items[static_cast<size_t>(index)];
    return 1;
}

PyMethodDef *StandIn_FunctionDefinition(PyObject *object, PyObject **self) {
    if (Py_TYPE(object) != &functionType)
        return nullptr;
    *self = reinterpret_cast<FunctionObject *>(object)->self;
    return reinterpret_cast<FunctionObject *>(object)->definition;
}

PyTypeObject *StandIn_ReadiedType(Py_ssize_t index) {
    if (index < 0 || static_cast<size_t>(index) >= readiedTypes.size())
        return nullptr;
    return readiedTypes[static_cast<size_t>(index)];
}

int StandIn_PendingError(const char **typeName, const char **message) {
    if (!pendingType)
        return 0;
    *typeName = reinterpret_cast<PyTypeObject *>(pendingType)->tp_name;
    *message = pendingValue ? reinterpret_cast<StrObject *>(pendingValue)->utf8 : "";
    return 1;
}

void StandIn_ClearError(void) {
    Py_CLEAR(pendingType);
    Py_CLEAR(pendingValue);
}
