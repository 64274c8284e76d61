/* What a Windows build of CPython states about itself, for compiling
   extension modules against it with MinGW-w64. */
#ifndef Py_CONFIG_H
#define Py_CONFIG_H

#define MS_WIN32
#define MS_WINDOWS
#ifdef _WIN64
#define MS_WIN64
#endif
#define NT_THREADS
#define WITH_THREAD
#define Py_WINVER 0x0601
#define Py_NTDDI 0x06010000

/* The interpreter is a DLL; modules on the stable ABI import python3.dll. */
#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL

#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
#define SIZEOF_WCHAR_T 2
#define SIZEOF__BOOL 1
#define SIZEOF_TIME_T 8
#define SIZEOF_OFF_T 4
#define SIZEOF_FPOS_T 8
#define ALIGNOF_LONG 4
#ifdef _WIN64
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_HKEY 8
#define ALIGNOF_SIZE_T 8
#define ALIGNOF_MAX_ALIGN_T 8
#else
#define SIZEOF_VOID_P 4
#define SIZEOF_SIZE_T 4
#define SIZEOF_HKEY 4
#define ALIGNOF_SIZE_T 4
#define ALIGNOF_MAX_ALIGN_T 8
#endif

#define HAVE_LONG_LONG 1
#define PY_LONG_LONG long long
#define HAVE_UINTPTR_T 1
#define HAVE_INTPTR_T 1
#define HAVE_SSIZE_T 1
#define HAVE_WCHAR_H 1
#define HAVE_STDARG_PROTOTYPES 1
#define HAVE_STDDEF_H 1
#define HAVE_STDLIB_H 1
#define HAVE_ERRNO_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_DIRECT_H 1
#define HAVE_IO_H 1
#define HAVE_PROCESS_H 1
#define WORD_BIT 32
#define WITH_DOC_STRINGS 1
#define WITH_PYMALLOC 1
#define DONT_HAVE_SIG_ALARM
#define DONT_HAVE_SIG_PAUSE
#define LONG_BIT 32

#endif /* Py_CONFIG_H */
