#!/usr/bin/env python3
"""Generates the bundled sample source database (synthetic, GBK texts) deterministically.

    python3 make_sample.py ../sample/qqwry.dat
"""
import random
import sys

import qqwry_gen

PROVINCES = ["北京市", "上海市", "广东省广州市", "广东省深圳市", "浙江省杭州市", "江苏省南京市",
             "四川省成都市", "湖北省武汉市", "陕西省西安市", "山东省济南市", "福建省厦门市",
             "辽宁省沈阳市", "河南省郑州市", "湖南省长沙市", "重庆市", "天津市"]
ISPS = ["电信", "联通", "移动", "铁通", "教育网", "长城宽带", "鹏博士", ""]
ABROAD = [("美国", "Microsoft"), ("美国", "Google"), ("日本", "东京都"), ("德国", ""),
          ("韩国", "KT电信"), ("新加坡", "Amazon数据中心"), ("英国", "伦敦"), ("澳大利亚", "")]


def gbk(s):
    return s.encode("gbk")


def main(path):
    rng = random.Random(20261207)
    ranges = []
    start = qqwry_gen.ip("1.0.0.0")
    ranges.append((0, start - 1, gbk("IANA"), gbk("保留地址")))
    while start < qqwry_gen.ip("223.255.255.0"):
        size = rng.choice([1 << 12, 1 << 16, 1 << 18, 1 << 20, 1 << 21, 1 << 22])
        end = min(start + size - 1, qqwry_gen.ip("223.255.255.255"))
        if rng.random() < 0.7:
            country, area = rng.choice(PROVINCES), rng.choice(ISPS)
        else:
            country, area = rng.choice(ABROAD)
        ranges.append((start, end, gbk(country), gbk(area)))
        start = end + 1
    ranges.append((start, qqwry_gen.ip("255.255.255.254"), gbk("IANA"), gbk("保留地址")))
    # The closing sentinel that real databases carry; the converter skips it.
    ranges.append((0xFFFFFFFF, 0xFFFFFFFF, gbk("纯真网络"), gbk("2026年12月07日IP数据")))
    with open(path, "wb") as f:
        f.write(qqwry_gen.build(ranges))
    print(f"{path}: {len(ranges)} ranges")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "qqwry.dat")
