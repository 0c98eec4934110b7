#pragma once
// The system's own error values. Engine failures travel as std::expected;
// the module layer turns them into ValueError with message().

#include <expected>
#include <string>
#include <utility>

namespace sablewick {

class SablewickError {
public:
    enum class Kind { InvalidCondition, Deserialization };

    static SablewickError invalid_condition(std::string payload) {
        return SablewickError(Kind::InvalidCondition, std::move(payload));
    }
    static SablewickError deserialization(std::string payload) {
        return SablewickError(Kind::Deserialization, std::move(payload));
    }

    Kind kind() const noexcept { return kind_; }
    const std::string& payload() const noexcept { return payload_; }

    // Fixed prefix followed by the payload, unchanged. The prefixes are
    // fixed interface texts.
    std::string message() const {
        const char* prefix = kind_ == Kind::InvalidCondition ? "Invalid condition: " : "Deserialization error: ";
        return std::string(prefix) + payload_;
    }

    bool operator==(const SablewickError&) const = default;

private:
    SablewickError(Kind kind, std::string payload) : kind_(kind), payload_(std::move(payload)) {}
    Kind kind_;
    std::string payload_;
};

template <class T>
using Result = std::expected<T, SablewickError>;

}  // namespace sablewick
