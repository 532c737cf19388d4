#pragma once

#include <functional>
#include <vector>

class CProgrammer;

// The kinds of backend, one row per kind, each serving a range of
// programmer types and knowing how to make and open its backend. The
// controller knows no transport: it asks its table where a type's backend
// lives and has the table make one. A new kind is a new row.
class CBackendTable {
public:
    // Makes the backend for progType, installs it with
    // CProgrammer::SetBackend and opens it; 1 when it is ready. The backend
    // posts its own outcome.
    using Opener = std::function<int(CProgrammer& programmer, int progType, int ispSetting)>;

    struct Kind {
        int firstType;
        int lastType;
        Opener open;
    };

    CBackendTable() = default;
    explicit CBackendTable(std::vector<Kind> kinds) : m_kinds(std::move(kinds)) {}

    // The slot a type's backend lives in: the first type of its kind, so the
    // types of one kind share one backend; -1 when no kind serves it.
    int SlotOf(int progType) const;
    // Makes and opens progType's backend; 0 when no kind serves it.
    int Open(CProgrammer& programmer, int progType, int ispSetting) const;
    bool Serves(int progType) const { return Find(progType) != nullptr; }

private:
    const Kind* Find(int progType) const;

    std::vector<Kind> m_kinds;
};
