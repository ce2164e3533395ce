// Opening a link's URL: the shell's "open" verb, else the command line
// registered for ".htm" files with the URL appended; the error box.
#include "controls/hyperlink.h"
#include "framework/shell.h"
#include <cstring>

namespace {

// First occurrence of `part` in `text`, stepping by whole characters of
// the code page so a trail byte never starts a match.
char* FindText(char* text, const char* part)
{
    const size_t n = std::strlen(part);
    for (char* p = text; *p; p = ::CharNextA(p))
        if (std::strncmp(p, part, n) == 0)
            return p;
    return nullptr;
}

} // namespace

UINT CHyperLink::LaunchURL(LPCSTR url, int showCmd)
{
    if (!url)
        url = "";
    // A fresh hand cursor for every launch.
    SetHandCursor(nullptr);

    const UINT shell = static_cast<UINT>(
        reinterpret_cast<UINT_PTR>(ShellExecuteLate(nullptr, "open", url, nullptr, nullptr, showCmd)));
    if (shell > 32)
        return shell;

    // The class of ".htm" files, then its open command. A class name is at
    // most 259 bytes, so the key path always fits.
    char command[2 * MAX_PATH];
    if (ReadKeyDefaultValue(HKEY_CLASSES_ROOT, ".htm", command) != ERROR_SUCCESS)
        return shell;
    lstrcatA(command, "\\shell\\open\\command");
    if (ReadKeyDefaultValue(HKEY_CLASSES_ROOT, command, command) != ERROR_SUCCESS)
        return shell;

    // The URL takes the place of the placeholder; what followed it goes.
    char* placeholder = FindText(command, "\"%1\"");
    if (!placeholder)
        placeholder = FindText(command, "%1");
    if (placeholder)
        *placeholder = '\0';

    // A command that would not fit is not run cut short: the shell's
    // answer is the one reported.
    if (std::strlen(command) + 1 + std::strlen(url) + 1 > sizeof command)
        return shell;
    lstrcatA(command, " ");
    lstrcatA(command, url);
    return ::WinExec(command, showCmd);
}

LONG CHyperLink::ReadKeyDefaultValue(HKEY root, LPCSTR subKey, LPSTR out)
{
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS)
        return opened;
    // No default value, or one too long for the buffer, reads as empty.
    char value[MAX_PATH] = {};
    LONG size = sizeof value;
    if (::RegQueryValueA(key, nullptr, value, &size) != ERROR_SUCCESS)
        value[0] = '\0';
    value[sizeof value - 1] = '\0';
    lstrcpynA(out, value, sizeof value);
    ::RegCloseKey(key);
    return ERROR_SUCCESS;
}

CString CHyperLink::LaunchErrorText(int result)
{
    static const struct {
        int code;
        const char* text;
    } kTexts[] = {
        {0, "The operating system is out\nof memory or resources."},
        {ERROR_FILE_NOT_FOUND, "The specified file was not found."},
        {ERROR_PATH_NOT_FOUND, "The specified path was not found."},
        {SE_ERR_ACCESSDENIED, "The operating system denied\naccess to the specified file."},
        {SE_ERR_OOM, "There was not enough memory to complete the operation."},
        {ERROR_BAD_FORMAT, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {SE_ERR_SHARE, "A sharing violation occurred. "},
        {SE_ERR_ASSOCINCOMPLETE, "The filename association is\nincomplete or invalid."},
        {SE_ERR_DDETIMEOUT, "The DDE transaction could not\nbe completed because the request timed out."},
        {SE_ERR_DDEFAIL, "The DDE transaction failed."},
        {SE_ERR_DDEBUSY, "The DDE transaction could not\nbe completed because other DDE transactions\n"
                         "were being processed."},
        {SE_ERR_NOASSOC, "There is no application associated\nwith the given filename extension."},
        {SE_ERR_DLLNOTFOUND, "The specified dynamic-link library was not found."},
    };
    for (const auto& entry : kTexts)
        if (entry.code == result)
            return CString(entry.text);
    CString text;
    text.Format("Unknown Error (%d) occurred.", result);
    return text;
}

void CHyperLink::ShowLaunchError(int result)
{
    const CString text = "Unable to open hyperlink:\n\n" + LaunchErrorText(result);
    AfxMessageBox(text, MB_ICONEXCLAMATION, 0);
}
