#include "app/sfx/win/DialogTemplate.h"

namespace Sfx::Win {

namespace {

void PutDword(std::vector<WORD>& words, DWORD value) {
    words.push_back(LOWORD(value));
    words.push_back(HIWORD(value));
}

}  // namespace

DialogTemplate::DialogTemplate(const std::wstring& caption, short cx, short cy) {
    PutDword(m_words, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER |
                          DS_SHELLFONT);
    PutDword(m_words, 0);  // extended style
    m_words.push_back(0);  // items, counted by Item()
    m_words.push_back(0);  // x
    m_words.push_back(0);  // y
    m_words.push_back(static_cast<WORD>(cx));
    m_words.push_back(static_cast<WORD>(cy));
    m_words.push_back(0);  // no menu
    m_words.push_back(0);  // the dialog class
    Text(caption);
    m_words.push_back(8);  // point size, then the face
    Text(L"MS Shell Dlg");
}

void DialogTemplate::Align() {
    // Items start on a DWORD boundary.
    if (m_words.size() % 2)
        m_words.push_back(0);
}

void DialogTemplate::Text(const std::wstring& text) {
    for (wchar_t c : text)
        m_words.push_back(static_cast<WORD>(c));
    m_words.push_back(0);
}

void DialogTemplate::Item(DWORD style, short x, short y, short cx, short cy, WORD id) {
    Align();
    PutDword(m_words, style | WS_CHILD | WS_VISIBLE);
    PutDword(m_words, 0);
    m_words.push_back(static_cast<WORD>(x));
    m_words.push_back(static_cast<WORD>(y));
    m_words.push_back(static_cast<WORD>(cx));
    m_words.push_back(static_cast<WORD>(cy));
    m_words.push_back(id);
    ++m_words[4];
}

void DialogTemplate::Add(WORD atom, const std::wstring& text, WORD id, DWORD style, short x,
                         short y, short cx, short cy) {
    Item(style, x, y, cx, cy, id);
    m_words.push_back(0xFFFF);
    m_words.push_back(atom);
    Text(text);
    m_words.push_back(0);  // no creation data
}

void DialogTemplate::Add(const std::wstring& className, const std::wstring& text, WORD id,
                         DWORD style, short x, short y, short cx, short cy) {
    Item(style, x, y, cx, cy, id);
    Text(className);
    Text(text);
    m_words.push_back(0);
}

}  // namespace Sfx::Win
