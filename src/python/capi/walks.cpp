#include "python/capi/walks.hpp"

namespace sablewick::py::capi {

int DictWalk::next(PyRef& key, PyRef& value) {
    if (PyDict_GET_SIZE(dict_.get()) != size_ || yielded_ > size_) {
        // Fixed interface text: the module's own choice for a dict that host
        // code changed while it was read (README, Choices of its own).
        PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
        return -1;
    }
    PyObject* raw_key = nullptr;
    PyObject* raw_value = nullptr;
    if (!PyDict_Next(dict_.get(), &position_, &raw_key, &raw_value)) return 0;
    ++yielded_;
    key = PyRef::borrow(raw_key);
    value = PyRef::borrow(raw_value);
    return 1;
}

bool ListWalk::next(PyRef& item) {
    if (position_ >= size_ || position_ >= PyList_GET_SIZE(list_.get())) return false;
    item = PyRef::borrow(PyList_GET_ITEM(list_.get(), position_));
    ++position_;
    return true;
}

bool check_signals_every_so_often(std::size_t count) { return (count & 0xFFFF) != 0 || PyErr_CheckSignals() == 0; }

}  // namespace sablewick::py::capi
