#!/usr/bin/env python3
"""The report's spreadsheets read by Python's csv module as Excel's dialect
reads them: the byte order mark, CR LF row ends, RFC 4180 quoting of a
learner named with a comma, quotes and a line break, and Japanese text."""
import csv
import io
import os
import subprocess
import sys
import tempfile

check, folder = sys.argv[1], sys.argv[2]
out = tempfile.mkdtemp()
env = dict(os.environ, TZ="Asia/Tokyo", QT_QPA_PLATFORM="offscreen")
run = subprocess.run([check, "--report", out, folder], env=env, capture_output=True, text=True)
assert run.returncode == 0, run.stderr
assert "records/taro.jsonl:2: " in run.stderr, run.stderr


def read(name, rows_expected):
    raw = open(os.path.join(out, name), "rb").read()
    assert raw.startswith(b"\xef\xbb\xbf"), "no byte order mark"
    assert not raw[3:].startswith(b"\xef\xbb\xbf")
    assert raw.endswith(b"\r\n")
    # Every row ends in CR LF; the one line break inside a field is quoted.
    assert raw.count(b"\r\n") == rows_expected, raw.count(b"\r\n")
    assert raw.replace(b"\r\n", b"").count(b"\r") == 0
    with open(os.path.join(out, name), encoding="utf-8-sig", newline="") as f:
        return list(csv.reader(f, dialect="excel", strict=True))


yamada = '山田, "花子"\n2組'
gone = "問題集ファイルのこの問題は変わったか、なくなっています"
# A showing's time is its last check's: 14.5 s for yamada's 問題1, not 10.5 + 14.5.
results = read("results.csv", 5)
assert results == [
    ["学習者", "問題集", "問題集ファイル", "見出し", "初回正解", "出題回数", "答え合わせ回数", "最後の正解",
     "最後の回答日時", "所要時間(秒)", "注記"],
    ["taro", "Seibutsu1.txt", "Seibutsu1.txt", "問題1", "1", "1", "1", "1", "2026-12-01 11:00:00", "7.0", gone],
    ["taro", "Seibutsu1.txt", "Seibutsu1.txt", "問題2", "0", "1", "1", "0", "2026-12-03 11:00:00", "12.0", gone],
    [yamada, "Seibutsu1.txt", "Seibutsu1.txt", "問題1", "0", "1", "2", "1", "2026-12-01 09:01:00", "14.5", gone],
    [yamada, "Seibutsu1.txt", "Seibutsu1.txt", "問題2", "1", "1", "1", "1", "2026-12-02 10:00:00", "3.3", gone],
], results

confusions = read("confusions.csv", 4)
assert confusions == [
    ["問題集", "問題集ファイル", "見出し", "項目", "置いた分類群", "正しい分類群", "学習者数", "回数"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題1", "ヒトデ", "節足動物", "棘皮動物", "1", "1"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題2", "イカ", "節足動物", "軟体動物", "1", "1"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題2", "カニ", "軟体動物", "節足動物", "1", "1"],
], confusions
# Each term's share right at first checks, hand-counted.
terms = read("terms.csv", 6)
assert terms == [
    ["問題集", "問題集ファイル", "見出し", "項目", "正しい分類群", "初回の答え合わせ回数", "正しく置いた回数", "正解率(%)"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題1", "ウニ", "棘皮動物", "2", "2", "100"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題1", "ヒトデ", "棘皮動物", "2", "1", "50"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題1", "エビ", "節足動物", "2", "2", "100"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題2", "カニ", "節足動物", "2", "1", "50"],
    ["Seibutsu1.txt", "Seibutsu1.txt", "問題2", "イカ", "軟体動物", "2", "1", "50"],
], terms
print("ok")
