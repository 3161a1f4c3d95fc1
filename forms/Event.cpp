#include "forms/Event.hpp"

namespace lumivox {
namespace {

bool matches(const Binding& binding, std::string_view control, int* number) {
    if (binding.first == 0) {
        if (control != binding.control) {
            return false;
        }
        *number = 0;
        return true;
    }
    if (!control.starts_with(binding.control)) {
        return false;
    }
    std::string_view digits = control.substr(binding.control.size());
    if (digits.empty() || digits.size() > 3 || digits.front() == '0') {
        return false;
    }
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value < binding.first || value > binding.last) {
        return false;
    }
    *number = value;
    return true;
}

}  // namespace

const Binding* findBinding(const std::vector<Binding>& wiring, std::string_view window,
                           std::string_view control, EventKind kind, int* number) {
    int found = 0;
    for (const Binding& binding : wiring) {
        if (binding.window == window && binding.kind == kind && matches(binding, control, &found)) {
            if (number != nullptr) {
                *number = found;
            }
            return &binding;
        }
    }
    return nullptr;
}

}  // namespace lumivox
