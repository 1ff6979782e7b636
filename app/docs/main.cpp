// cryvan-make-docs OUTPUT DATE: writes the manual pages and the shell completions of cryvan
// and cryvan-org under OUTPUT (a share folder), from the programs' own option tables.
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "app/docs/Docs.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: cryvan-make-docs OUTPUT_FOLDER YYYY-MM-DD\n";
        return 1;
    }
    try {
        const fs::path share = argv[1];
        const std::string date = argv[2];
        Write(share / "man/man1/cryvan.1", Docs::CryvanPage(CRYVAN_VERSION, date));
        Write(share / "man/man1/cryvan-org.1", Docs::OrgPage(CRYVAN_VERSION, date));
        for (const Docs::Program& program : {Docs::CryvanProgram(), Docs::OrgProgram()}) {
            Write(share / "bash-completion/completions" / program.name,
                  Docs::BashCompletion(program));
            Write(share / "zsh/vendor-completions" / ("_" + program.name),
                  Docs::ZshCompletion(program));
            Write(share / "fish/vendor_completions.d" / (program.name + ".fish"),
                  Docs::FishCompletion(program));
        }
    } catch (const std::exception& e) {
        std::cerr << "cryvan-make-docs: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
