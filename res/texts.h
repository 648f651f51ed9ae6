// Every text the user sees, exactly as it is shown, and the version block. UTF-8; half-width
// and full-width katakana and digits are different characters.
#pragma once

#include "res/ids.h"

#include <string_view>

inline constexpr const char* kTextAppName = "orbelle3";
inline constexpr const char* kTextFrameTitle = "Lumetta";

// The string table: a command's text before the line break is its prompt, after it its tooltip.
struct StringEntry {
    int id;
    const char* text;
};
inline constexpr StringEntry kStringTable[] = {
    {IDR_MAINFRAME, "orbelle3\n\nPell\n\n\nOrbelle3.Document\nPell Document"},
    {ID_VIEW_RESET, "VIEWのリセット\nVIEWのリセット"},
    {ID_SPREAD_WIDEN, "拡散光を広げる\n拡散光を広げる"},
    {ID_SPREAD_NARROW, "拡散光を狭める\n拡散光を狭める"},
    {ID_APP_ABOUT, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示\nﾊﾞｰｼﾞｮﾝ情報"},
    {ID_APP_EXIT, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\nｱﾌﾟﾘｹｰｼｮﾝの終了"},
    {ID_LIGHT_PATTERN1, "電球のライトパターン1\nライトパターン1"},
    {ID_LIGHT_PATTERN2, "電球のライトパターン2\nライトパターン2"},
    {ID_LIGHT_PATTERN3, "電球のライトパターン3\nライトパターン3"},
    {ID_FLARE_SPIN, "林檎のライトパターン\n林檎のライト回転"},
    {ID_LIGHT_STRONGER, "ライト光を強める\nライト光を強める"},
    {ID_LIGHT_WEAKER, "ライト光を弱める\nライト光を弱める"},
};

// The text of id in the string table; empty when there is none.
constexpr std::string_view StringText(int id)
{
    for (const StringEntry& entry : kStringTable) {
        if (entry.id == id)
            return entry.text;
    }
    return {};
}
// The prompt of a command's string (before the line break), or its tooltip (after it).
constexpr std::string_view CommandPrompt(int id)
{
    const std::string_view text = StringText(id);
    return text.substr(0, text.find('\n'));
}
constexpr std::string_view CommandTooltip(int id)
{
    const std::string_view text = StringText(id);
    const auto newline = text.find('\n');
    return newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
}

// The document string's fields, one to a line: the window's title, the document's name, the
// name of a new file, the file filter's name and extension, then the file type's id and its
// name, which the document template is registered under.
enum class DocumentField {
    WindowTitle,
    DocumentName,
    NewFileName,
    FilterName,
    FilterExtension,
    FileTypeId,
    FileTypeName
};
constexpr std::string_view DocumentString(DocumentField field)
{
    std::string_view text = StringText(IDR_MAINFRAME);
    for (int i = 0; i < static_cast<int>(field); ++i)
        text.remove_prefix(text.find('\n') + 1);
    return text.substr(0, text.find('\n'));
}
static_assert(DocumentString(DocumentField::FileTypeName) == "Pell Document");

// The menu bar: the key hint follows the mnemonic directly; it is part of the label and
// the keys are not menu accelerators.
inline constexpr const char* kMenuApplication = "ｱﾌﾟﾘｹｰｼｮﾝ(&A)";
inline constexpr const char* kMenuExit = "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)Esc";
inline constexpr const char* kMenuApples = "林檎(&Q)";
inline constexpr const char* kMenuFlareSpin = "光の回転(&R)A";
inline constexpr const char* kMenuBulbs = "電球(&L)";
inline constexpr const char* kMenuPattern1 = "ライトパターン１(&1)1";  // the first digit is full-width
inline constexpr const char* kMenuPattern2 = "ライトパターン2(&2)2";
inline constexpr const char* kMenuPattern3 = "ライトパターン3(&3)3";
inline constexpr const char* kMenuHelp = "ﾍﾙﾌﾟ(&H)";
inline constexpr const char* kMenuAbout = "Lumettaのﾊﾞｰｼﾞｮﾝ情報(&V)";

// The about box.
inline constexpr const char* kAboutCaption = "orbelle3のﾊﾞｰｼﾞｮﾝ情報";
inline constexpr const char* kAboutFontFace = "ＭＳ Ｐゴシック";
inline constexpr const char* kAboutFallbackFontFace = "IPAPGothic";
inline constexpr int kAboutFontPoints = 9;
inline constexpr const char* kAboutVersion = "Lumetta Version 1.1";
inline constexpr const char* kAboutNotice = "Copyright (C) 2026\nLumettaの作者たち";
inline constexpr const char* kAboutOk = "OK";

// The messages of the backdrop picture.
inline constexpr const char* kTextPanelMissing = "ファイル名<panel.bmp>が見つかりません。";

// The version block.
inline constexpr const char* kVersionNumber = "1.1.0.0";
struct VersionEntry {
    const char* key;
    const char* value;
};
inline constexpr VersionEntry kVersionBlock[] = {
    {"FileDescription", "Lumetta"},
    {"FileVersion", "1, 1, 0, 0"},
    {"InternalName", "orbelle3"},
    {"OriginalFilename", "orbelle3.EXE"},
    {"ProductName", "Lumetta ｱﾌﾟﾘｹｰｼｮﾝ"},
    {"ProductVersion", "1, 1, 0, 0"},
    {"Comments", ""},
    {"LegalTrademarks", ""},
    {"PrivateBuild", ""},
    {"SpecialBuild", ""},
};
