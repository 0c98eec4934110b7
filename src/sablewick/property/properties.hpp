#pragma once
// Every number a life has, listed once. The property codes, the state's
// fields, an effect's deltas, a year's values, the RDM pick, the summary
// score, the judged maxima and the dict keys a session hands out are all
// made from this list, so a property is added or changed by one row.
//
// Columns:
//   name    the property code
//   start   its value at birth
//   host    1: the host's `properties` argument sets it at birth
//   range   1: it keeps a running minimum L<name> and maximum H<name>
//   value   1: a value property (RDM lands on one of them; the summary
//           score doubles the sum of their maxima)
//   year    1: a year record carries it
//   effect  1: an effect carries a delta for it
//
// The row order is the order of an effect's deltas (read and applied in it,
// with RDM last), of a year's values, of the RDM pick and of the judged
// maxima (then SUM).

// clang-format off
#define SABLEWICK_PROPERTIES(X)                        \
    /*  name   start host range value year effect */   \
    X(CHR,       0,   1,   1,    1,    1,    1)        \
    X(INT,       0,   1,   1,    1,    1,    1)        \
    X(STR,       0,   1,   1,    1,    1,    1)        \
    X(MNY,       0,   1,   1,    1,    1,    1)        \
    X(SPR,       5,   0,   1,    1,    1,    1)        \
    X(LIF,       1,   0,   0,    0,    1,    1)        \
    X(AGE,      -1,   0,   1,    0,    0,    1)        \
    X(TMS,       0,   0,   0,    0,    0,    0)        \
    X(CACHV,     0,   0,   0,    0,    0,    0)
// clang-format on

// SABLEWICK_IF(flag, text...): the text when the flag is 1, nothing when 0;
// SABLEWICK_IF_NOT the other way round.
#define SABLEWICK_IF_0(...)
#define SABLEWICK_IF_1(...) __VA_ARGS__
#define SABLEWICK_IF(flag, ...) SABLEWICK_IF_##flag(__VA_ARGS__)
#define SABLEWICK_IF_NOT_0(...) __VA_ARGS__
#define SABLEWICK_IF_NOT_1(...)
#define SABLEWICK_IF_NOT(flag, ...) SABLEWICK_IF_NOT_##flag(__VA_ARGS__)
