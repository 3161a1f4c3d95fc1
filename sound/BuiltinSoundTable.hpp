#pragma once
// The 50 sound effects of the effects page: caption and exact sample format of
// each, by button number. The effect generator makes its files to this table,
// and the page plays them by button number.
#include <array>
#include <cstdint>
#include <string_view>

namespace lumivox {

enum class EffectEncoding { pcm, msAdpcm };

struct BuiltinSoundRow {
    int button;
    std::string_view caption;  // UTF-8
    int channels;
    int rate;
    int bits;
    std::uint32_t dataBytes;
    EffectEncoding encoding = EffectEncoding::pcm;
};

inline constexpr int kBuiltinSoundCount = 50;

inline constexpr std::array<BuiltinSoundRow, kBuiltinSoundCount> kBuiltinSounds{{
    {1, "QQ消息音", 1, 11025, 8, 6903},
    {2, "QQ提示音", 1, 22050, 4, 9097, EffectEncoding::msAdpcm},
    {3, "公鸡叫早", 2, 22050, 16, 230000},
    {4, "搓碟", 2, 44100, 16, 677376},
    {5, "鄙视声音", 2, 44100, 16, 539136},
    {6, "鞭打男人", 2, 44100, 16, 3686400},
    {7, "打饱嗝声", 1, 22050, 16, 25344},
    {8, "打呼噜", 2, 44100, 16, 299520},
    {9, "打架现场声音", 2, 44100, 16, 5732352},
    {10, "打喷嚏", 2, 44100, 16, 92160},
    {11, "刀剑出鞘", 2, 44100, 16, 2087424},
    {12, "电话占线", 2, 44100, 16, 105984},
    {13, "放屁", 1, 44100, 16, 71424},
    {14, "非诚勿扰亮灯", 2, 44100, 16, 944640},
    {15, "给枪上膛", 2, 44100, 16, 82944},
    {16, "狗叫", 2, 44100, 16, 50688},
    {17, "鼓声", 2, 44100, 16, 235008},
    {18, "鬼叫声(男)", 1, 44100, 16, 55296},
    {19, "鬼叫声(女)", 1, 44100, 16, 142848},
    {20, "哈欠声", 1, 22050, 16, 213120},
    {21, "欢呼掌声", 2, 44100, 16, 737280},
    {22, "机枪扫射", 2, 44100, 16, 202752},
    {23, "激烈掌声", 2, 44100, 16, 732672},
    {24, "男人咳嗽声", 2, 44100, 16, 92160},
    {25, "尖叫声", 2, 44100, 16, 1663488},
    {26, "贱笑", 2, 44100, 16, 852480},
    {27, "精神病热线", 2, 44100, 16, 2755584},
    {28, "救护车", 2, 44100, 16, 322560},
    {29, "开枪", 2, 44100, 16, 423936},
    {30, "女人呻吟声", 1, 44100, 16, 2214144},
    {31, "敲锣声音", 2, 44100, 16, 834048},
    {32, "敲钟声", 2, 44100, 16, 396288},
    {33, "亲嘴声(敷衍)", 1, 44100, 16, 48384},
    {34, "亲嘴声(女)", 1, 22050, 16, 125568},
    {35, "轻微掌声", 2, 44100, 16, 658944},
    {36, "群斗剑击", 1, 11025, 16, 85248},
    {37, "群众笑声", 2, 44100, 16, 714240},
    {38, "手枪声音", 2, 44100, 16, 414720},
    {39, "乌鸦飞过", 2, 44100, 16, 364032},
    {40, "邪恶的笑", 1, 22050, 16, 81792},
    {41, "心跳声", 1, 22050, 16, 203904},
    {42, "新闻联播", 2, 44100, 16, 3792384},
    {43, "英文正数", 2, 44100, 16, 354816},
    {44, "婴儿笑声", 2, 44100, 16, 1281024},
    {45, "砸玻璃声音", 2, 44100, 16, 1138176},
    {46, "直升飞机", 2, 44100, 16, 903168},
    {47, "岚泽明笑声", 2, 44100, 16, 622080},
    {48, "做人要厚道点", 2, 44100, 16, 354816},
    {49, "警报声", 1, 22050, 16, 2545452},
    {50, "雷声", 2, 44100, 16, 370000},
}};

// Microsoft ADPCM effects: 512-byte blocks of 1,012 samples (mono).
inline constexpr int kAdpcmBlockBytes = 512;
inline constexpr int kAdpcmSamplesPerBlock = 1012;

// The embedded file of button n (1 to 50), as the assets index names it.
inline std::string_view builtinSoundAssetName(int button) {
    static constexpr std::array<std::string_view, kBuiltinSoundCount> names = [] {
        std::array<std::string_view, kBuiltinSoundCount> all{};
        constexpr std::string_view list =
            "effects/01.wav,effects/02.wav,effects/03.wav,effects/04.wav,effects/05.wav,"
            "effects/06.wav,effects/07.wav,effects/08.wav,effects/09.wav,effects/10.wav,"
            "effects/11.wav,effects/12.wav,effects/13.wav,effects/14.wav,effects/15.wav,"
            "effects/16.wav,effects/17.wav,effects/18.wav,effects/19.wav,effects/20.wav,"
            "effects/21.wav,effects/22.wav,effects/23.wav,effects/24.wav,effects/25.wav,"
            "effects/26.wav,effects/27.wav,effects/28.wav,effects/29.wav,effects/30.wav,"
            "effects/31.wav,effects/32.wav,effects/33.wav,effects/34.wav,effects/35.wav,"
            "effects/36.wav,effects/37.wav,effects/38.wav,effects/39.wav,effects/40.wav,"
            "effects/41.wav,effects/42.wav,effects/43.wav,effects/44.wav,effects/45.wav,"
            "effects/46.wav,effects/47.wav,effects/48.wav,effects/49.wav,effects/50.wav";
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = list.substr(i * 15, 14);
        }
        return all;
    }();
    if (button < 1 || button > kBuiltinSoundCount) {
        return {};
    }
    return names[static_cast<std::size_t>(button - 1)];
}

}  // namespace lumivox
