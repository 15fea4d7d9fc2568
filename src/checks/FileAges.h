#pragma once
// Which of two files is newer: the one question of the load order that the
// checks, the automatic clean, the listings and the dialogue merge ask. They
// ask it through one of these, given by the operation, and never read file
// times themselves.
#include <memory>
#include <string>
#include <unordered_map>

#include "loadorder/LoadOrder.h"

namespace vantor {

using loadorder::CFileAge;

class CFileAges {
public:
    virtual ~CFileAges() = default;
    // The age of the file at `path`: of two files the greater age is newer;
    // equal ages are equally old.
    virtual CFileAge AgeOf(const std::string& path) = 0;
};

// The game's rule: the last-write time in whole seconds, read once per path
// (the name may differ in case from the file on disk); a file whose time
// cannot be read is older than every readable one.
class CLastWriteAges : public CFileAges {
public:
    CFileAge AgeOf(const std::string& path) override;

private:
    std::unordered_map<std::string, CFileAge> m_ages;
};

// The ages a load order gives, each asked once.
class CLoadOrderAges : public CFileAges {
public:
    explicit CLoadOrderAges(const loadorder::CLoadOrder& order) : m_order(order) {}
    CFileAge AgeOf(const std::string& path) override;

private:
    const loadorder::CLoadOrder& m_order;
    std::unordered_map<std::string, CFileAge> m_ages;
};

}  // namespace vantor
