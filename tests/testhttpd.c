/* SPDX-License-Identifier: MIT */
/* Apache's httpd.exe for the tests, as an apply pass runs it. "-t -f FILE" judges one thing, whether
   the folder of FILE's last DocumentRoot line (${NAME} from Define lines) exists, and says so on
   stderr as Apache does, paths in UTF-8 as Apache writes them; "-S -f FILE" lists nothing. Each run
   appends its arguments as a line to a file beside its program, named as it with ".log" added. */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <string.h>
#include <windows.h>

enum { kSize = 4096, kDefines = 8 };

/* The first word of text into word, without its quotes; returns what follows it. */
static const char* Word(const char* text, char* word)
{
    text += strspn(text, " \t");
    const char* end = *text == '"' ? strchr(++text, '"') : text + strcspn(text, " \t\r\n");
    end = end ? end : text + strlen(text);
    memcpy(word, text, end - text);
    word[end - text] = 0;
    return end + (*end == '"');
}

int wmain(int argc, wchar_t** argv)
{
    static char args[3][kSize], line[kSize], rest[kSize], word[kSize], root[kSize];
    static char names[kDefines][kSize], values[kDefines][kSize]; /* names as "${NAME}" */
    for (int i = 1; i < argc && i <= 3; ++i)
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, args[i - 1], kSize, NULL, NULL);
    wchar_t wide[kSize];
    GetModuleFileNameW(NULL, wide, MAX_PATH);
    FILE* file = _wfopen(wcscat(wide, L".log"), L"ab");
    if (file) {
        fprintf(file, "%s %s %s\n", args[0], args[1], args[2]);
        fclose(file);
    }
    if (argc == 4 && !strcmp(args[0], "-S"))
        return 0;
    if (argc != 4 || strcmp(args[0], "-t") || strcmp(args[1], "-f") || !(file = _wfopen(argv[3], L"rb")))
        return 2;
    int number = 0, rootLine = 0, defined = 0;
    while (fgets(line, kSize, file)) {
        ++number;
        for (int i = 0; i < defined; ++i)
            for (char* at = line; at < line + strlen(line) && (at = strstr(at, names[i]));
                 at += strlen(values[i])) {
                strcpy(rest, at + strlen(names[i]));
                snprintf(at, kSize - (at - line), "%s%s", values[i], rest);
            }
        const char* after = Word(line, word);
        if (!_stricmp(word, "Define") && defined < kDefines) {
            Word(Word(after, word), values[defined]);
            snprintf(names[defined++], kSize, "${%s}", word);
        } else if (!_stricmp(word, "DocumentRoot")) {
            Word(after, root);
            rootLine = number;
        }
    }
    fclose(file);
    MultiByteToWideChar(CP_UTF8, 0, root, -1, wide, kSize);
    const DWORD attributes = GetFileAttributesW(wide);
    if (rootLine && (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        fprintf(stderr, "AH00526: Syntax error on line %d of %s:\n", rootLine, args[2]);
        fprintf(stderr, "DocumentRoot '%s' is not a directory, or is not readable\n", root);
        return 1;
    }
    fprintf(stderr, "Syntax OK\n");
    return 0;
}
