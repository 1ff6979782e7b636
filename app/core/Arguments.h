// A program's arguments where the process keeps them, so that a password given among them can
// be overwritten there: the process list shows those same bytes. Built from strings (tests,
// callers holding copies) it keeps writable copies of its own.
#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace App {

class Arguments {
  public:
    Arguments() = default;
    // Borrows argv[0] to argv[argc - 1], which must outlive this object.
    Arguments(int argc, char** argv) : m_args(argv, argv + (argc > 0 ? argc : 0)) {}
    explicit Arguments(std::vector<char*> borrowed) : m_args(std::move(borrowed)) {}
    Arguments(const std::vector<std::string>& args) { Copy(args.begin(), args.end()); }
    Arguments(std::initializer_list<std::string> args) { Copy(args.begin(), args.end()); }
    Arguments(Arguments&&) = default;
    Arguments& operator=(Arguments&&) = default;
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    std::size_t size() const { return m_args.size(); }
    std::string_view operator[](std::size_t i) const { return m_args[i]; }
    char* Pointer(std::size_t i) const { return m_args[i]; }

    // Overwrites argument i with as many 'x' as it has bytes. The bytes are the process's,
    // not this object's: it may be const.
    void Hide(std::size_t i) const { std::memset(m_args[i], 'x', std::strlen(m_args[i])); }

  private:
    template <typename It>
    void Copy(It begin, It end) {
        for (It it = begin; it != end; ++it) {
            m_owned.push_back(std::make_unique<char[]>(it->size() + 1));
            std::memcpy(m_owned.back().get(), it->c_str(), it->size() + 1);
            m_args.push_back(m_owned.back().get());
        }
    }

    std::vector<char*> m_args;
    std::vector<std::unique_ptr<char[]>> m_owned;
};

}  // namespace App
