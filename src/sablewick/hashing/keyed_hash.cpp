#include "sablewick/hashing/keyed_hash.hpp"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "sablewick/process/lifecycle.hpp"

namespace sablewick::hashing {
namespace {

HashKeys keys_from_os() {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    HashKeys keys;
    if (got == sizeof bytes) {
        std::memcpy(&keys.k0, bytes, 8);
        std::memcpy(&keys.k1, bytes + 8, 8);
    } else {
        // A kernel without getrandom: the library's own source of the OS's
        // entropy.
        std::random_device device;
        keys.k0 = (std::uint64_t{device()} << 32) | device();
        keys.k1 = (std::uint64_t{device()} << 32) | device();
    }
    return keys;
}

struct ThreadSeed {
    HashKeys next;
    unsigned generation = 0;
    bool seeded = false;
};

}  // namespace

HashKeys fresh_hash_keys() {
    thread_local ThreadSeed seed;
    const unsigned generation = process::lifecycle::fork_generation();
    if (!seed.seeded || seed.generation != generation) {
        seed.next = keys_from_os();
        seed.generation = generation;
        seed.seeded = true;
    }
    HashKeys keys = seed.next;
    ++seed.next.k0;
    return keys;
}

}  // namespace sablewick::hashing
