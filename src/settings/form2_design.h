#pragma once

#include "window_common/twips.h"

namespace quenby::form2_design {

// The settings window as designed, in twips. Controls inside a frame are placed
// from the frame's top-left corner; the rest from the window's client area.

inline constexpr TwipsRect kClientArea{0, 0, 7500, 6540};

// Slot frames stand 840 twips apart, the first at 360.
inline constexpr TwipsRect slotFrame(int slot)
{
    return {120, 360 + 840 * (slot - 1), 7215, 735};
}
inline constexpr TwipsRect kFrame6{120, 4560, 7215, 615};
inline constexpr TwipsRect kFrame7{120, 5280, 2895, 615};
inline constexpr TwipsRect kFrame8{3120, 5280, 4215, 735};

// Inside a slot frame. The check box stands on the frame's top edge, where a
// frame title would be; two of them and one browse button came out a little taller.
inline constexpr TwipsRect slotCheck(int slot)
{
    return {120, 0, 615, slot == 2 || slot == 3 ? 255 : 180};
}
inline constexpr TwipsRect kSlotText{240, 360, 5895, 270};
inline constexpr TwipsRect slotBrowse(int slot)
{
    return {6240, 360, 855, slot == 2 ? 315 : 310};
}

// Inside Frame6, Frame7 and Frame8.
inline constexpr TwipsRect kCheck6{120, 0, 615, 180};
inline constexpr TwipsRect kLabel4{240, 240, 6855, 255};
inline constexpr TwipsRect kCheck7{120, 0, 615, 180};
inline constexpr TwipsRect kLabel5{240, 240, 2535, 255};
inline constexpr TwipsRect kText6{120, 0, 615, 270};
inline constexpr TwipsRect kLabel3{700, 45, 300, 180};
inline constexpr TwipsRect kLabel2{120, 285, 3975, 390};

// On the window itself.
inline constexpr TwipsRect kLabel1{120, 120, 4575, 255};
inline constexpr TwipsRect kOk2{3240, 6120, 1335, 315};
inline constexpr TwipsRect kCancel2{4680, 6120, 1335, 315};
inline constexpr TwipsRect kSave{6120, 6120, 1215, 315};

inline constexpr char16_t kCaption[] = u"TARVEN Inc. Quenby  設定";
// An ordinary blank before 又は, an ideographic space after it.
inline constexpr char16_t kLabel1Text[] = u"実行させたいアプリケーション 又は\u3000コマンドを設定します。";
inline constexpr char16_t kLabel2Text[] =
    u"Windowsの終了処理に移るまでの待ち時間を設定アプリケーションに合わせて入力してください。";
inline constexpr char16_t kLabel3Text[] = u"秒";
inline constexpr char16_t kLabel4Text[] =
    u"\\Windows\\tempフォルダ内の不要ファイルを削除してハードディスクの空き容量を増やす。";
inline constexpr char16_t kLabel5Text[] = u"最近使ったファイルを削除する。";
inline constexpr char16_t kBrowseText[] = u"参照";
inline constexpr char16_t kSaveText[] = u"適用";

} // namespace quenby::form2_design
