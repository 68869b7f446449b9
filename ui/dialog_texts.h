// The texts the main dialog writes over its template when it opens, as code page 932 (Shift-JIS) bytes.
// The platform converts them from code page 932 explicitly, so they read correctly whatever the
// system's own code page is.
#pragma once

namespace aperlume {

inline constexpr char kCaptionText[] = "Aperlume 0.13.5";
inline constexpr char kAmountText[] = "\x97\xca";                              // 量
inline constexpr char kBrightnessText[] = "\x96\xbe\x82\xe9\x82\xb3";          // 明るさ
inline constexpr char kVerticesText[] = "\x92\xb8\x93\x5f\x90\x94";            // 頂点数
inline constexpr char kEdgeText[] = "\x83\x47\x83\x62\x83\x57";                // エッジ
inline constexpr char kRatioText[] = "\x94\xe4\x97\xa6";                       // 比率
inline constexpr char kRotationText[] = "\x89\xf1\x93\x5d";                    // 回転
inline constexpr char kSoftText[] = "\x83\x5c\x83\x74\x83\x67";                // ソフト
inline constexpr char kAntiAliasText[] =                                        // アンチエイリアス
    "\x83\x41\x83\x93\x83\x60\x83\x47\x83\x43\x83\x8a\x83\x41\x83\x58";
inline constexpr char kGammaText[] = "\x83\x4b\x83\x93\x83\x7d";               // ガンマ
inline constexpr char kLogarithmText[] = "\x91\xce\x90\x94";                   // 対数
inline constexpr char kDepthMapText[] =                                         // 選択領域を深度マップとして使う
    "\x91\x49\x91\xf0\x97\xcc\x88\xe6\x82\xf0\x90\x5b\x93\x78\x83\x7d\x83\x62\x83\x76\x82\xc6\x82\xb5\x82\xc4"
    "\x8e\x67\x82\xa4";
inline constexpr char kFocusText[] = "\x8f\xc5\x93\x5f";                       // 焦点

}  // namespace aperlume
