// Dialogs built in memory: a DLGTEMPLATE and its items, so that the program needs no resource
// script for its windows. Units are dialog units; the font is the shell's dialog font.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Sfx::Win {

class DialogTemplate {
  public:
    // The predefined classes by their atoms.
    enum : WORD { kButton = 0x80, kEdit = 0x81, kStatic = 0x82 };

    DialogTemplate(const std::wstring& caption, short cx, short cy);

    void Add(WORD atom, const std::wstring& text, WORD id, DWORD style, short x, short y, short cx,
             short cy);
    // A control of a registered class (a progress bar).
    void Add(const std::wstring& className, const std::wstring& text, WORD id, DWORD style, short x,
             short y, short cx, short cy);

    // The finished template; the count of items is kept in it.
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

  private:
    void Align();
    void Text(const std::wstring& text);
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id);

    std::vector<WORD> m_words;
};

}  // namespace Sfx::Win
