// The GameSession class: properties and methods that turn the stored,
// pre-rendered life into fresh Python values on every call.

#include "python/session/game_session_type.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

#include "python/capi/arguments.hpp"
#include "python/capi/boundary.hpp"
#include "python/capi/conversions.hpp"
#include "python/module_state.hpp"
#include "python/session/dicts.hpp"

namespace sablewick::py::session {

using namespace capi;

namespace {

using simulator::GameSession;

constexpr std::uint64_t kDefaultYearsPerPage = 50;

struct GameSessionObject {
    PyObject_HEAD GameSession value;
    // Shared borrows outstanding; every read takes one. Nothing ever takes
    // an exclusive borrow, so the count is informative only.
    std::atomic<std::uint64_t> borrows;
};

GameSessionObject* as_session(PyObject* self) { return reinterpret_cast<GameSessionObject*>(self); }

// Holds one shared borrow of a session for the length of a call.
class SharedBorrow {
public:
    explicit SharedBorrow(PyObject* self) : object_(as_session(self)) {
        object_->borrows.fetch_add(1, std::memory_order_relaxed);
    }
    ~SharedBorrow() { object_->borrows.fetch_sub(1, std::memory_order_relaxed); }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;
    const GameSession& session() const { return object_->value; }

private:
    GameSessionObject* object_;
};

// ---- arguments ----------------------------------------------------------

bool unsigned_argument(PyObject* value, const char* name, std::uint64_t& out) {
    std::optional<std::uint64_t> converted = with_argument_prefix(to_u64(value), name);
    if (!converted) return false;
    out = *converted;
    return true;
}

// ---- properties -----------------------------------------------------------

PyObject* get_total_years(PyObject* self, void*) {
    SharedBorrow borrow(self);
    return PyLong_FromSize_t(borrow.session().years.size());
}

PyObject* get_total_pages(PyObject* self, void*) {
    SharedBorrow borrow(self);
    std::size_t years = borrow.session().years.size();
    return PyLong_FromSize_t(years / kDefaultYearsPerPage + (years % kDefaultYearsPerPage != 0));
}

PyObject* get_total_score(PyObject* self, void*) {
    SharedBorrow borrow(self);
    return PyLong_FromLong(borrow.session().total_score);
}

PyObject* get_final_age(PyObject* self, void*) {
    SharedBorrow borrow(self);
    const auto& years = borrow.session().years;
    return PyLong_FromLong(years.empty() ? 0 : years.back().age);
}

PyObject* get_is_ended(PyObject* self, void*) {
    SharedBorrow borrow(self);
    const auto& years = borrow.session().years;
    return PyBool_FromLong(years.empty() ? 1 : years.back().is_end);
}

// ---- methods --------------------------------------------------------------

PyObject* get_page_data(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"page", "years_per_page"};
    static const Signature signature{"GameSession.get_page_data", names, 2, 1};
    PyObject* bound[2] = {nullptr, nullptr};
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;

    std::uint64_t page = 0;
    if (!unsigned_argument(bound[0], "page", page)) return nullptr;
    std::uint64_t per_page = kDefaultYearsPerPage;
    if (bound[1] && bound[1] != Py_None && !unsigned_argument(bound[1], "years_per_page", per_page)) {
        return nullptr;
    }

    SharedBorrow borrow(self);
    const GameSession& session = borrow.session();
    const std::uint64_t total = session.years.size();
    if (page == 0 || per_page == 0) return PyList_New(0);
    // (page - 1) * per_page without wrap-around: a product beyond 2^64 - 1
    // lies beyond every life.
    const std::uint64_t pages_before = page - 1;
    if (pages_before > std::numeric_limits<std::uint64_t>::max() / per_page) return PyList_New(0);
    const std::uint64_t first = pages_before * per_page;
    if (first >= total) return PyList_New(0);
    const std::uint64_t end = per_page >= total - first ? total : first + per_page;
    return years_list(session, static_cast<std::size_t>(first), static_cast<std::size_t>(end));
}

PyObject* get_year_common(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                          const Signature& signature, bool formatted) {
    PyObject* bound[1] = {nullptr};
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;
    std::uint64_t index = 0;
    if (!unsigned_argument(bound[0], "index", index)) return nullptr;

    SharedBorrow borrow(self);
    const GameSession& session = borrow.session();
    if (index >= session.years.size()) Py_RETURN_NONE;
    const DictKeys& keys = state().keys;
    return year_dict(session.years[static_cast<std::size_t>(index)], formatted ? keys.text : keys.display_text);
}

const char* const index_names[] = {"index"};

PyObject* get_year(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Signature signature{"GameSession.get_year", index_names, 1, 1};
    return get_year_common(self, args, nargs, kwnames, signature, false);
}

PyObject* get_year_formatted(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const Signature signature{"GameSession.get_year_formatted", index_names, 1, 1};
    return get_year_common(self, args, nargs, kwnames, signature, true);
}

PyObject* get_years_range(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"start", "end"};
    static const Signature signature{"GameSession.get_years_range", names, 2, 2};
    PyObject* bound[2] = {nullptr, nullptr};
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    if (!unsigned_argument(bound[0], "start", start) || !unsigned_argument(bound[1], "end", end)) {
        return nullptr;
    }

    SharedBorrow borrow(self);
    const GameSession& session = borrow.session();
    const std::uint64_t stop = std::min<std::uint64_t>(end, session.years.size());
    if (start >= stop) return PyList_New(0);
    return years_list(session, static_cast<std::size_t>(start), static_cast<std::size_t>(stop));
}

PyObject* get_summary(PyObject* self, PyObject*) {
    SharedBorrow borrow(self);
    return summary_dict(borrow.session());
}

PyObject* get_new_achievements(PyObject* self, PyObject*) {
    SharedBorrow borrow(self);
    return achievements_list(borrow.session());
}

PyObject* get_triggered_events(PyObject* self, PyObject*) {
    SharedBorrow borrow(self);
    return events_list(borrow.session());
}

PyObject* get_replacements(PyObject* self, PyObject*) {
    SharedBorrow borrow(self);
    return replacements_list(borrow.session());
}

// ---- the type -------------------------------------------------------------

void session_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    GameSessionObject* object = as_session(self);
    object->value.~GameSession();
    using Counter = std::atomic<std::uint64_t>;
    object->borrows.~Counter();
    type->tp_free(self);
    Py_DECREF(type);  // instances of a heap type hold a reference to it
}

// The class's, methods' and properties' docstrings are fixed interface
// texts, compared byte for byte: "PyClass", "lazily accessed" and the rest
// stay as they are.
constexpr const char kClassDoc[] =
    "GameSession: a stateful session that holds the simulation results in native memory\n"
    "\n"
    "This PyClass allows Python to hold a handle to the simulation result\n"
    "without serializing the entire data structure. Data is lazily accessed\n"
    "through getter methods.\n"
    "\n"
    "# Thread safety\n"
    "The class may be moved to and shared between threads, because every\n"
    "type it contains (lists, shared handles, text, 32-bit integers) may be\n"
    "moved to and shared between threads too.";

PyMethodDef session_methods[] = {
    {"get_page_data", as_cfunction(guarded<get_page_data>), METH_FASTCALL | METH_KEYWORDS,
     "get_page_data($self, page, years_per_page=None)\n--\n\n"
     "Get paginated trajectory data\n\n"
     "# Arguments\n"
     "* `page` - Page number (1-indexed)\n"
     "* `years_per_page` - Number of years per page (default: 50)\n\n"
     "# Returns\n"
     "List of year dicts for the requested page, or empty list if out of bounds"},
    {"get_year", as_cfunction(guarded<get_year>), METH_FASTCALL | METH_KEYWORDS,
     "get_year($self, index)\n--\n\n"
     "Get a single year by index\n\n"
     "# Arguments\n"
     "* `index` - Year index (0-indexed)\n\n"
     "# Returns\n"
     "Year dict or None if out of bounds"},
    {"get_years_range", as_cfunction(guarded<get_years_range>), METH_FASTCALL | METH_KEYWORDS,
     "get_years_range($self, start, end)\n--\n\n"
     "Get a range of years\n\n"
     "# Arguments\n"
     "* `start` - Start index (inclusive)\n"
     "* `end` - End index (exclusive)\n\n"
     "# Returns\n"
     "List of year dicts, or empty list if out of bounds"},
    {"get_year_formatted", as_cfunction(guarded<get_year_formatted>), METH_FASTCALL | METH_KEYWORDS,
     "get_year_formatted($self, index)\n--\n\n"
     "Get pre-formatted year content\n\n"
     "# Arguments\n"
     "* `index` - Year index (0-indexed)\n\n"
     "# Returns\n"
     "Dict with pre-rendered text, or None if out of bounds"},
    {"get_summary", guarded<get_summary>, METH_NOARGS,
     "get_summary($self)\n--\n\nGet the summary with pre-rendered progress bars"},
    {"get_new_achievements", guarded<get_new_achievements>, METH_NOARGS,
     "get_new_achievements($self)\n--\n\nGet new achievements unlocked during simulation"},
    {"get_triggered_events", guarded<get_triggered_events>, METH_NOARGS,
     "get_triggered_events($self)\n--\n\nGet triggered event IDs"},
    {"get_replacements", guarded<get_replacements>, METH_NOARGS,
     "get_replacements($self)\n--\n\nGet talent replacements"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef session_getset[] = {
    {"total_years", guarded<get_total_years>, nullptr, "Total number of years in the trajectory", nullptr},
    {"total_pages", guarded<get_total_pages>, nullptr, "Total number of pages (50 years per page by default)", nullptr},
    {"total_score", guarded<get_total_score>, nullptr, "Total score from summary", nullptr},
    {"final_age", guarded<get_final_age>, nullptr, "Final age (age of the last year)", nullptr},
    {"is_ended", guarded<get_is_ended>, nullptr, "Whether the simulation has ended", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot session_slots[] = {
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(session_dealloc)},
    {Py_tp_methods, session_methods},
    {Py_tp_getset, session_getset},
    {0, nullptr},
};

// Not a base type, no __dict__, no weak references, no constructor, and
// immutable once named (make_session_type). The qualified name is a fixed
// interface text: it gives __module__.
PyType_Spec session_spec = {
    "sablewick_core.GameSession",
    static_cast<int>(sizeof(GameSessionObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    session_slots,
};

}  // namespace

PyObject* wrap_game_session(simulator::GameSession&& value) {
    PyTypeObject* session_type = state().session_type;
    PyObject* self = session_type->tp_alloc(session_type, 0);
    if (!self) return nullptr;  // `value` stays with the caller and is released there
    GameSessionObject* object = as_session(self);
    new (&object->value) GameSession(std::move(value));
    new (&object->borrows) std::atomic<std::uint64_t>(0);
    return self;
}

PyTypeObject* make_session_type(PyObject* module) {
    // The PyType_Spec name "sablewick_core.GameSession" gives the type its __module__
    // at creation; renaming it afterwards leaves tp_name without the prefix.
    PyRef type = PyRef::steal(PyType_FromModuleAndSpec(module, &session_spec, nullptr));
    if (!type) return nullptr;
    PyRef name = PyRef::steal(PyUnicode_InternFromString("GameSession"));
    if (!name || PyObject_SetAttrString(type.get(), "__name__", name.get()) < 0) return nullptr;
    // Immutable from here on (hence named first): no attribute of the class
    // can be set or deleted, so no constructor can be given to it and every
    // instance is one that wrap_game_session built.
    reinterpret_cast<PyTypeObject*>(type.get())->tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
    return reinterpret_cast<PyTypeObject*>(type.release());
}

}  // namespace sablewick::py::session
