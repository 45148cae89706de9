// SPDX-License-Identifier: Apache-2.0
// What a service call gives back: its value, or the reason there is none. Where the caller
// must tell failures apart (a missing camera from a broken one, say), the failure also carries
// a kind. Reasons are written for the user: the caller puts them after a prefix of its own in
// the status or debug line.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace palmcue {

// The only kind of failure of a call that has one way to fail.
enum class Fault { Failed };

template <typename Kind = Fault> struct Failure {
    Kind kind;
    std::string reason;
};

inline Failure<> failure(std::string reason) {
    return {Fault::Failed, std::move(reason)};
}

template <typename Kind> Failure<Kind> failure(Kind kind, std::string reason) {
    return {kind, std::move(reason)};
}

template <typename T, typename Kind = Fault> class [[nodiscard]] Result {
public:
    template <typename U = T>
    requires(std::is_constructible_v<T, U&&> && !std::is_same_v<std::remove_cvref_t<U>, Result> &&
             !std::is_same_v<std::remove_cvref_t<U>, Failure<Kind>>) Result(U&& value)
        : state_(std::in_place_index<0>, std::forward<U>(value)) {}
    Result(Failure<Kind> failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    Kind fault() const { return std::get<1>(state_).kind; }
    // The reason of the failure; empty when there is none.
    const std::string& error() const {
        static const std::string none;
        return ok() ? none : std::get<1>(state_).reason;
    }
    // The failure as it is, to hand on to this call's own caller.
    Failure<Kind> failure() && { return std::get<1>(std::move(state_)); }

private:
    std::variant<T, Failure<Kind>> state_;
};

template <typename Kind> class [[nodiscard]] Result<void, Kind> {
public:
    Result() = default;
    Result(Failure<Kind> failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }

    Kind fault() const {
        assert(failure_);
        return failure_->kind;
    }
    const std::string& error() const {
        static const std::string none;
        return failure_ ? failure_->reason : none;
    }
    Failure<Kind> failure() && { return std::move(*failure_); }

private:
    std::optional<Failure<Kind>> failure_;
};

} // namespace palmcue
