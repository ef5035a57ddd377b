// A registration that ends when its token goes away: observers, monitors,
// subscriptions, timers and hot keys all hand one out.
#pragma once

#include <functional>
#include <utility>

class Token {
public:
    Token() = default;
    explicit Token(std::function<void()> cancel)
        : m_cancel(std::move(cancel))
    {
    }
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    Token(Token&& other) noexcept
        : m_cancel(std::exchange(other.m_cancel, nullptr))
    {
    }
    Token& operator=(Token&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_cancel = std::exchange(other.m_cancel, nullptr);
        }
        return *this;
    }
    ~Token() { reset(); }

    // Ends the registration now; later calls do nothing.
    void reset()
    {
        if (auto cancel = std::exchange(m_cancel, nullptr))
            cancel();
    }
    // Keeps the registration alive for the life of the process.
    void release() { m_cancel = nullptr; }
    bool isActive() const { return static_cast<bool>(m_cancel); }
    explicit operator bool() const { return isActive(); }

private:
    std::function<void()> m_cancel;
};
