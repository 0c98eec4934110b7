#pragma once
// Walks over host containers: a dict in insertion order, a list by position
// and whatever an iteration yields. Each holds what it hands to `visit`, so
// host code run meanwhile (an __index__, an attribute) cannot free it, and
// each ends with false and the exception set on the first failure: its own,
// or `visit` returning false with the exception set.

#include "python/capi/py_ref.hpp"

#include <cstddef>

namespace sablewick::py::capi {

// Walks a dict in insertion order, holding key and value of each step.
// Fails the walk with RuntimeError once the dict changed size, or yielded
// more entries than it had when the walk started.
class DictWalk {
public:
    explicit DictWalk(PyObject* dict) noexcept : dict_(PyRef::borrow(dict)), size_(PyDict_GET_SIZE(dict)) {}
    // 1: key and value hold the next entry; 0: done; -1: RuntimeError set.
    int next(PyRef& key, PyRef& value);

private:
    PyRef dict_;
    Py_ssize_t size_;
    Py_ssize_t position_ = 0;
    Py_ssize_t yielded_ = 0;
};

// Reads list items by position while the position is below both the length
// at the start and the current length. Holds each item it hands out.
class ListWalk {
public:
    explicit ListWalk(PyObject* list) noexcept : list_(PyRef::borrow(list)), size_(PyList_GET_SIZE(list)) {}
    bool next(PyRef& item);

private:
    PyRef list_;
    Py_ssize_t size_;
    Py_ssize_t position_ = 0;
};

// visit(key, value) for each entry of `dict` (a dict), by DictWalk.
template <class Visit>
bool for_each_entry(PyObject* dict, Visit&& visit) {
    DictWalk walk(dict);
    PyRef key;
    PyRef value;
    int step = 0;
    while ((step = walk.next(key, value)) > 0) {
        if (!visit(key.get(), value.get())) return false;
    }
    return step == 0;
}

// visit(item) for each item of `list` (a list), by ListWalk.
template <class Visit>
bool for_each_list_item(PyObject* list, Visit&& visit) {
    ListWalk walk(list);
    PyRef item;
    while (walk.next(item)) {
        if (!visit(item.get())) return false;
    }
    return true;
}

// visit(item) for each item the iteration of `iterable` yields.
template <class Visit>
bool for_each_item(PyObject* iterable, Visit&& visit) {
    PyRef iterator = PyRef::steal(PyObject_GetIter(iterable));
    if (!iterator) return false;
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        if (!visit(item.get())) return false;
    }
    return !PyErr_Occurred();
}

// For loops over host iterators that may never end: every 65,536 items the
// interpreter's signal handlers run, so Ctrl-C stops them. False with the
// handler's exception set.
bool check_signals_every_so_often(std::size_t count);

}  // namespace sablewick::py::capi
