// Generated texts shaped like a real qqwry release's (GBK bytes, each with what it says in
// UTF-8). The combinations are drawn from the tables below by number.
#include "tests/real_shaped_texts.h"

#include <iterator>

namespace {

struct City {
    const char* gbk;
    const char* province;
    const char* city;
};

struct Named {
    const char* gbk;
    const char* utf8;
};

struct Place {
    const char* gbk;
    const char* code;
    const char* country;
    const char* province;
    const char* city;
    const char* district;
};

const City kCities[] = {
    {"\xb9\xe3\xb6\xab\xca\xa1\xc9\xee\xdb\xda\xca\xd0", "广东省", "深圳市"}, // 广东省深圳市
    {"\xb9\xe3\xb6\xab\xca\xa1\xb9\xe3\xd6\xdd\xca\xd0", "广东省", "广州市"}, // 广东省广州市
    {"\xb1\xb1\xbe\xa9\xca\xd0", "北京市", "北京市"},                         // 北京市
    {"\xc9\xcf\xba\xa3\xca\xd0", "上海市", "上海市"},                         // 上海市
    {"\xd6\xd8\xc7\xec\xca\xd0", "重庆市", "重庆市"},                         // 重庆市
    {"\xcc\xec\xbd\xf2\xca\xd0", "天津市", "天津市"},                         // 天津市
    {"\xd5\xe3\xbd\xad\xca\xa1\xba\xbc\xd6\xdd\xca\xd0", "浙江省", "杭州市"}, // 浙江省杭州市
    {"\xbd\xad\xcb\xd5\xca\xa1\xcb\xd5\xd6\xdd\xca\xd0", "江苏省", "苏州市"}, // 江苏省苏州市
    {"\xc1\xc9\xc4\xfe\xca\xa1\xcc\xfa\xc1\xeb\xca\xd0", "辽宁省", "铁岭市"}, // 辽宁省铁岭市
    {"\xc4\xda\xc3\xc9\xb9\xc5\xba\xf4\xc2\xd7\xb1\xb4\xb6\xfb\xca\xd0", "内蒙古自治区",
     "呼伦贝尔市"}, // 内蒙古呼伦贝尔市
    {"\xb9\xe3\xce\xf7\xb9\xf0\xc1\xd6\xca\xd0", "广西壮族自治区", "桂林市"}, // 广西桂林市
    {"\xb9\xe3\xce\xf7\xca\xa1\xc4\xcf\xc4\xfe\xca\xd0", "广西壮族自治区",
     "南宁市"}, // 广西省南宁市
    {"\xd0\xc2\xbd\xae\xb0\xa2\xbf\xcb\xcb\xd5\xb5\xd8\xc7\xf8", "新疆维吾尔自治区",
     "阿克苏地区"}, // 新疆阿克苏地区
    {"\xba\xfe\xb1\xb1\xca\xa1\xbe\xa3\xd6\xdd\xca\xd0", "湖北省", "荆州市"}, // 湖北省荆州市
    {"\xba\xd3\xc4\xcf\xca\xa1\xd6\xa3\xd6\xdd\xca\xd0", "河南省", "郑州市"}, // 河南省郑州市
    {"\xcb\xc4\xb4\xa8\xca\xa1\xb3\xc9\xb6\xbc\xca\xd0", "四川省", "成都市"}, // 四川省成都市
    {"\xb8\xa3\xbd\xa8\xca\xa1\xcf\xc3\xc3\xc5\xca\xd0", "福建省", "厦门市"}, // 福建省厦门市
    {"\xc9\xbd\xb6\xab\xca\xa1\xbc\xc3\xc4\xcf\xca\xd0", "山东省", "济南市"}, // 山东省济南市
    {"\xbc\xaa\xc1\xd6\xca\xa1\xd1\xd3\xb1\xdf\xb3\xaf\xcf\xca\xd7\xe5\xd7\xd4\xd6\xce\xd6\xdd",
     "吉林省", "延边朝鲜族自治州"}, // 吉林省延边朝鲜族自治州
    {"\xc4\xda\xc3\xc9\xb9\xc5\xce\xfd\xc1\xd6\xb9\xf9\xc0\xd5\xc3\xcb", "内蒙古自治区",
     "锡林郭勒盟"}, // 内蒙古锡林郭勒盟
    {"\xba\xfe\xc4\xcf\xca\xa1\xb3\xa3\xb5\xc2\xca\xd0", "湖南省", "常德市"}, // 湖南省常德市
    {"\xc9\xc2\xce\xf7\xca\xa1\xce\xf7\xb0\xb2\xca\xd0", "陕西省", "西安市"}, // 陕西省西安市
    {"\xba\xa3\xc4\xcf\xca\xa1", "海南省", ""},                               // 海南省
    {"\xbd\xad\xce\xf7\xca\xa1", "江西省", ""},                               // 江西省
};

const Named kDistricts[] = {
    {"", ""},
    {"\xc4\xcf\xc9\xbd\xc7\xf8", "南山区"},
    {"\xba\xa3\xb5\xed\xc7\xf8", "海淀区"},
    {"\xb2\xfd\xcd\xbc\xcf\xd8", "昌图县"},
    {"\xc9\xb3\xca\xd0\xc7\xf8", "沙市区"},
    {"\xbe\xc5\xc1\xfa\xc6\xc2\xc7\xf8", "九龙坡区"},
    {"\xbb\xd4\xcf\xd8\xca\xd0", "辉县市"},
    {"\xb3\xaf\xd1\xf4\xc7\xf8", "朝阳区"},
    {"\xb6\xf5\xce\xc2\xbf\xcb\xd7\xe5\xd7\xd4\xd6\xce\xc6\xec", "鄂温克族自治旗"},
    {"\xca\xd0\xd6\xd0\xc7\xf8", "市中区"},
    {"\xc6\xd6\xb6\xab\xd0\xc2\xc7\xf8", "浦东新区"},
    {"\xc7\xed\xd6\xd0\xcf\xd8", "琼中县"},
};

const Named kStreets[] = {
    {"\xbf\xc6\xbc\xbc\xd4\xb0", "科技园"},
    {"\xbc\xce\xba\xcc\xc2\xb7\x36\x31\x30\x2d\x36\x31\x34\xba\xc5", "嘉禾路610-614号"},
    {"\xd6\xd0\xb9\xd8\xb4\xe5\xb4\xf3\xbd\xd6", "中关村大街"},
};

const Named kNowhere[] = {
    {"\xbe\xd6\xd3\xf2\xcd\xf8", "局域网"},
    {"\xb1\xbe\xbb\xfa\xb5\xd8\xd6\xb7", "本机地址"},
    {"\x49\x41\x4e\x41\xb1\xa3\xc1\xf4\xb5\xd8\xd6\xb7", "IANA保留地址"},
    {"\xd1\xc7\xcc\xab\xb5\xd8\xc7\xf8", "亚太地区"},
    {"\xc5\xb7\xd6\xde\xb5\xd8\xc7\xf8", "欧洲地区"},
    {"\xc5\xb7\xc3\xcb", "欧盟"},
    {"\xcb\xc4\xb4\xa8\xb4\xf3\xd1\xa7", "四川大学"},
    {"\xd6\xd8\xc7\xec\xb9\xa4\xd1\xa7\xd4\xba", "重庆工学院"},
};

const Named kIsps[] = {
    {"\xb5\xe7\xd0\xc5", "电信"},
    {"\xc1\xaa\xcd\xa8", "联通"},
    {"\xd2\xc6\xb6\xaf", "移动"},
    {"\xcc\xfa\xcd\xa8", "铁通"},
    {"\xbd\xcc\xd3\xfd\xcd\xf8", "教育网"},
    {"\xb3\xa4\xb3\xc7\xbf\xed\xb4\xf8", "长城宽带"},
    {"\xc5\xf4\xb2\xa9\xca\xbf", "鹏博士"},
    {"\xb5\xe7\xd0\xc5\x49\x44\x43\xbb\xfa\xb7\xbf", "电信IDC机房"},
    {"\xca\xd7\xb6\xfb", "首尔"},
    {"\x4d\x69\x63\x72\x6f\x73\x6f\x66\x74", "Microsoft"},
};

const Named kPlaces[] = {
    {"\xc1\xa6\xcc\xec\xcd\xf8\xb0\xc9", "力天网吧"},
    {"\xb5\xda\xc8\xfd\xd6\xd0\xd1\xa7", "第三中学"},
    {"\xc8\xcb\xc3\xf1\xd2\xbd\xd4\xba", "人民医院"},
    {"\xbf\xc6\xbc\xbc\xd4\xb0", "科技园"},
    {"\xb4\xf3\xd1\xa7\xb3\xc7", "大学城"},
    {"\xd0\xc7\xbf\xd5\xcd\xf8\xb0\xc9", "星空网吧"},
};

const Place kAbroad[] = {
    {"\xc3\xc0\xb9\xfa", "US", "美国", "", "", ""}, // 美国
    {"\xc3\xc0\xb9\xfa\xbc\xd3\xc0\xfb\xb8\xa3\xc4\xe1\xd1\xc7\xd6\xdd", "US", "美国",
     "加利福尼亚州", "", ""}, // 美国加利福尼亚州
    {"\xc3\xc0\xb9\xfa\x20\xbc\xd3\xc0\xfb\xb8\xa3\xc4\xe1\xd1\xc7\xd6\xdd\x20\xc2\xe5\xc9\xbc\xed"
     "\xb6",
     "US", "美国", "加利福尼亚州", "洛杉矶", ""}, // 美国 加利福尼亚州 洛杉矶
    {"\xc8\xd5\xb1\xbe\xb6\xab\xbe\xa9\xb6\xbc", "JP", "日本", "东京都", "", ""}, // 日本东京都
    {"\xc8\xd5\xb1\xbe", "JP", "日本", "", "", ""},                               // 日本
    {"\xba\xab\xb9\xfa", "KR", "韩国", "", "", ""},                               // 韩国
    {"\xb5\xc2\xb9\xfa", "DE", "德国", "", "", ""},                               // 德国
    {"\xd3\xa2\xb9\xfa\xc2\xd7\xb6\xd8", "GB", "英国", "伦敦", "", ""},           // 英国伦敦
    {"\xd0\xc2\xbc\xd3\xc6\xc2", "SG", "新加坡", "", "", ""},                     // 新加坡
    {"\xb7\xa8\xb9\xfa\xc6\xd5\xc2\xde\xcd\xfa\xcb\xb9\x2d\xb0\xa2\xb6\xfb\xb1\xb0\xcb\xb9\x2d\xc0"
     "\xb6\xc9\xab\xba\xa3\xb0\xb6",
     "FR", "法国", "普罗旺斯-阿尔卑斯-蓝色海岸", "", ""}, // 法国普罗旺斯-阿尔卑斯-蓝色海岸
    {"\xd3\xa1\xb6\xc8\xc4\xe1\xce\xf7\xd1\xc7", "ID", "印度尼西亚", "", "", ""}, // 印度尼西亚
    {"\xcf\xe3\xb8\xdb", "HK", "香港", "", "", ""},                               // 香港
    {"\xcc\xa8\xcd\xe5\xca\xa1\xcc\xa8\xb1\xb1\xca\xd0", "TW", "台湾", "台北市", "",
     ""},                                                               // 台湾省台北市
    {"\xb0\xc4\xc3\xc5", "MO", "澳门", "", "", ""},                     // 澳门
    {"\xb6\xed\xc2\xde\xcb\xb9", "RU", "俄罗斯", "", "", ""},           // 俄罗斯
    {"\xbc\xd3\xc4\xc3\xb4\xf3", "CA", "加拿大", "", "", ""},           // 加拿大
    {"\xb0\xc4\xb4\xf3\xc0\xfb\xd1\xc7", "AU", "澳大利亚", "", "", ""}, // 澳大利亚
    {"\xba\xc9\xc0\xbc", "NL", "荷兰", "", "", ""},                     // 荷兰
    {"\xd3\xa1\xb6\xc8", "IN", "印度", "", "", ""},                     // 印度
    {"\xb0\xcd\xce\xf7", "BR", "巴西", "", "", ""},                     // 巴西
};

const Place kDelimited[] = {
    {"\xd6\xd0\xb9\xfa\xa8\x43\xb9\xe3\xb6\xab\xa8\x43\xc9\xee\xdb\xda", "CN", "中国", "广东省",
     "深圳", ""}, // 中国–广东–深圳
    {"\xd6\xd0\xb9\xfa\xa8\x43\xb1\xb1\xbe\xa9\xa8\x43\xb1\xb1\xbe\xa9\xa8\x43\xba\xa3\xb5\xed\xc7"
     "\xf8",
     "CN", "中国", "北京市", "北京市", "海淀区"}, // 中国–北京–北京–海淀区
    {"\xd6\xd0\xb9\xfa\xa8\x43\xd5\xe3\xbd\xad\xa8\x43\xba\xbc\xd6\xdd\xa8\x43\xce\xf7\xba\xfe\xc7"
     "\xf8",
     "CN", "中国", "浙江省", "杭州", "西湖区"}, // 中国–浙江–杭州–西湖区
    {"\xd6\xd0\xb9\xfa\xa8\x43\xc4\xda\xc3\xc9\xb9\xc5\xa8\x43\xba\xf4\xba\xcd\xba\xc6\xcc\xd8",
     "CN", "中国", "内蒙古自治区", "呼和浩特", ""}, // 中国–内蒙古–呼和浩特
    {"\xd6\xd0\xb9\xfa\xa8\x43\xcf\xe3\xb8\xdb", "HK", "香港", "", "", ""}, // 中国–香港
    {"\xc3\xc0\xb9\xfa\xa8\x43\xbc\xd3\xc0\xfb\xb8\xa3\xc4\xe1\xd1\xc7\xd6\xdd\xa8\x43\xc2\xe5\xc9"
     "\xbc\xed\xb6",
     "US", "美国", "加利福尼亚州", "洛杉矶", ""},   // 美国–加利福尼亚州–洛杉矶
    {"\xd6\xd0\xb9\xfa", "CN", "中国", "", "", ""}, // 中国
};

const char kPlaceholderGbk[] = "\x20\x43\x5a\x38\x38\x2e\x4e\x45\x54"; // " CZ88.NET"

template <typename T, size_t N> const T& pick(const T (&table)[N], uint32_t n) {
    return table[n % N];
}

} // namespace

ShapedText shaped_country(uint32_t n) {
    ShapedText t;
    uint32_t kind = n % 10, k = n / 10;
    if (kind < 7) {
        // Run together: a city (or a province alone), a district, now and then a street.
        uint32_t j = k * 7 + kind;
        const City& city = pick(kCities, j);
        const Named* district = &pick(kDistricts, j / uint32_t(std::size(kCities)));
        std::string city_name = city.city;
        if (city_name.empty() && district->utf8[0] != '\0')
            district = &kDistricts[3]; // a county directly under the province: 昌图县
        if (city_name.size() >= 3 && city_name.compare(city_name.size() - 3, 3, "州") == 0 &&
            std::string(district->utf8).compare(0, 3, "市") == 0)
            district = &kDistricts[0]; // 州 followed by 市 would be one name
        t.gbk = std::string(city.gbk) + district->gbk;
        if (j % 5 == 0)
            t.gbk += pick(kStreets, j / 5).gbk;
        t.code = "CN";
        t.country = "中国";
        t.province = city.province;
        t.city = city.city;
        t.district = district->utf8;
    } else if (kind == 7 || kind == 8) {
        const Place& p = kind == 7 ? pick(kAbroad, k) : pick(kDelimited, k);
        t.gbk = p.gbk;
        t.code = p.code;
        t.country = p.country;
        t.province = p.province;
        t.city = p.city;
        t.district = p.district;
    } else {
        t.gbk = pick(kNowhere, k).gbk;
    }
    return t;
}

ShapedText shaped_area(uint32_t n) {
    ShapedText t;
    uint32_t kind = n % 10, k = n / 10;
    const Named& isp = pick(kIsps, k);
    if (kind == 0) {
        t.gbk = kPlaceholderGbk;
    } else if (kind == 1) {
        // empty
    } else if (kind < 5) {
        t.gbk = isp.gbk;
        t.isp = isp.utf8;
    } else {
        // A place after the ISP, numbered so that most of these texts differ.
        t.gbk = std::string(isp.gbk) + "/" + pick(kPlaces, k / 10).gbk + std::to_string(n);
        t.isp = isp.utf8;
    }
    return t;
}
