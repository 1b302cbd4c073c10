#!/usr/bin/env python3
"""Deliberate faults against the test suite.

Each row below breaks the program in one small way (a flipped comparison, a dropped
sign, a limit shifted by one, a skipped error check). The script puts each fault into
the source tree in turn, builds, runs the tests and reports whether any test failed.
A fault that survives is a hole in the suite.

    scripts/mutants.py --tree . --build build [--layout old] [--only ID ...]

--layout old uses the file paths of the tree before the controller moved out of the
window (text helpers and backends under src/gpib, the window's procedures in
src/mainwindow), so that an older suite can be measured against the same faults.
The end-to-end tests are left out: they need an X server and take minutes.
"""

import argparse
import pathlib
import subprocess
import sys

# id, file (current layout), file (old layout) or None for the same, text, replacement,
# and where the old layout words it otherwise, its text and replacement
MUTANTS = [
    ("limit-amplitude", "src/instrument/validation.cpp", None,
     "if (a > p.MaxAmplitude)", "if (a >= p.MaxAmplitude * 1.0001f)"),
    ("offset-abs", "src/instrument/validation.cpp", None,
     "std::fabs(singleValue(s.Offset))", "(singleValue(s.Offset))"),
    ("half-amp-steps", "src/instrument/validation.cpp", None,
     "if (p.ModelIndex == 2)\n        h = singleValue", "if (p.ModelIndex == 3)\n        h = singleValue"),
    ("sym-roundup", "src/instrument/validation.cpp", None,
     "if (k != std::trunc(k))", "if (false)"),
    ("freq-low-edge", "src/instrument/validation.cpp", None,
     "else if (f < p.MinFrequency)", "else if (f <= p.MinFrequency * 1.0001f)"),
    ("scope-symmetry", "src/instrument/validation.cpp", None,
     "scope == 0 || scope == 3 || scope == 5", "scope == 0 || scope == 3"),
    ("computed-sign", "src/instrument/commands.cpp", None,
     'std::string text = value < 0 ? "-" : "";', 'std::string text;'),
    ("line-no-sym-skip", "src/instrument/commands.cpp", None,
     "if (ModelIndex != 2) {\n        const std::string symmetry", "if (ModelIndex != 3) {\n        const std::string symmetry"),
    ("number-text-two-points", "src/instrument/commands.cpp", None,
     "if (t[i] == '.' && std::exchange(point, true))", "if (false && std::exchange(point, true))"),
    ("exp-sign", "src/text/numberparse.cpp", "src/gpib/numberparse.cpp",
     "if (negativeExponent) {", "if (!negativeExponent) {"),
    ("digit-nine", "src/text/numberparse.cpp", "src/gpib/numberparse.cpp",
     "return c >= '0' && c <= '9';", "return c >= '0' && c < '9';"),
    ("round-half", "src/text/format.cpp", "src/gpib/format.cpp",
     "if (all[kSignificantDigits] >= '5') {", "if (all[kSignificantDigits] > '5') {"),
    ("reply-limit", "src/gpib/io.cpp", None,
     "|| received > MaxReplySize)", ")"),
    ("error-check", "src/gpib/io.cpp", None,
     "if (!(m_driver.ibsta() & gpib::ERR))\n        return;", "return;"),
    ("strip-one-end", "src/gpib/io.cpp", None,
     "for (int i = 0; i < 2 && !reply.empty()", "for (int i = 0; i < 1 && !reply.empty()"),
    ("listen-30", "src/gpib/discovery.cpp", None,
     "for (int16_t a = 1; a <= 30; ++a)", "for (int16_t a = 1; a < 30; ++a)"),
    ("comma-slash", "src/gpib/discovery.cpp", None,
     "if (comma < slash)", "if (comma > slash)"),
    ("second-point", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "find('.') != std::string::npos)\n            keyAscii = 0;",
     "find('.') != std::string::npos && false)\n            keyAscii = 0;"),
    ("minus-positive", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "LeadingNumber(rest) > 0)", "LeadingNumber(rest) >= 0)"),
    ("digit-key", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "keyAscii > '9')", "keyAscii > '8')"),
    ("commit-unmarks-failure", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "if (!SendCommand(m_gpib.DeviceHandle, command(f)))\n        return;", "SendCommand(m_gpib.DeviceHandle, command(f));",
     "if (!m_form.SendCommand(gpib.DeviceHandle, command(f)))\n        return;", "m_form.SendCommand(gpib.DeviceHandle, command(f));"),
    ("apply-unmarks-failure", "src/instrument/controller.cpp", "src/mainwindow/mainform.cpp",
     "if (SendCommand(m_gpib.DeviceHandle, SettingLine(settings(), m_profile.ModelIndex))) {",
     "if (SendCommand(m_gpib.DeviceHandle, SettingLine(settings(), m_profile.ModelIndex)) || true) {"),
    ("toggle-failure", "src/instrument/controller.cpp", "src/mainwindow/mainform.cpp",
     'if (!SendCommand(m_gpib.DeviceHandle, "OUT " + target))\n        return;',
     'SendCommand(m_gpib.DeviceHandle, "OUT " + target);'),
    ("off-before-change", "src/instrument/controller.cpp", "src/mainwindow/mainform.cpp",
     "if (m_view.isChecked(Option::TurnOffAtChange))", "if (!m_view.isChecked(Option::TurnOffAtChange))",
     "if (m_ui.Menu_TurnOffAtChange->isChecked())", "if (!m_ui.Menu_TurnOffAtChange->isChecked())"),
    ("save-enable", "src/instrument/controller.cpp", "src/mainwindow/changemarks.cpp",
     "if (magnitude > 1)", "if (magnitude > 2)"),
    ("readback-milli", "src/instrument/readback.cpp", None,
     "return {0, static_cast<float>(LeadingNumber(s)) / 1000};", "return {0, static_cast<float>(LeadingNumber(s))};"),
    ("stored-index", "src/instrument/storedsettings.cpp", None,
     "index < static_cast<double>(options)", "index <= static_cast<double>(options)"),
    ("prologix-escape-plus", "src/bus/prologix.cpp", "src/gpib/prologix.cpp",
     "c == Esc || c == '+')", "c == Esc)"),
    ("sim-offset-abs", "src/sim/simfunctiongenerator.cpp", None,
     "if (above(std::fabs(s.offset), l.maxOffset))", "if (above(s.offset, l.maxOffset))"),
    ("read-timeout-code", "src/gpib/io.cpp", None,
     "constexpr int16_t ReadTimeoutCode = 12;", "constexpr int16_t ReadTimeoutCode = 11;"),
    ("prologix-read-eoi", "src/bus/prologix.cpp", "src/gpib/prologix.cpp",
     'sendLine("++read eoi")', 'sendLine("++read 10")'),
    ("spoll-sign", "src/gpib/driver.cpp", None,
     "statusByte = static_cast<int16_t>(static_cast<unsigned char>(spr));",
     "statusByte = static_cast<int16_t>(spr);"),
    ("sim-end-always", "src/sim/simbus.cpp", None,
     "return done(out.empty() ? gpib::END : 0, 0", "return done(gpib::END, 0"),
    ("paste-guard", "src/mainwindow/entryfield.cpp", None,
     "event->matches(QKeySequence::Paste) ||", "false ||"),
]


def run(cmd, cwd):
    return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tree", default=".")
    ap.add_argument("--build", default="build")
    ap.add_argument("--layout", choices=["new", "old"], default="new")
    ap.add_argument("--only", nargs="*")
    ap.add_argument("--jobs", default="2")
    args = ap.parse_args()
    tree = pathlib.Path(args.tree).resolve()
    build = pathlib.Path(args.build)
    if not build.is_absolute():
        build = tree / build

    results = []
    for ident, path, oldpath, text, replacement, *old in MUTANTS:
        if args.only and ident not in args.only:
            continue
        if args.layout == "old" and old:
            text, replacement = old
        source = tree / (oldpath if args.layout == "old" and oldpath else path)
        original = source.read_text() if source.exists() else ""
        if text not in original:
            results.append((ident, "absent"))
            print(f"{ident:24} absent", flush=True)
            continue
        source.write_text(original.replace(text, replacement, 1))
        try:
            if run(["cmake", "--build", str(build), "-j", args.jobs], tree) != 0:
                verdict = "no-build"
            else:
                failed = run(["ctest", "--test-dir", str(build), "-j", args.jobs,
                              "-E", "e2e", "--timeout", "300", "--stop-on-failure"], tree)
                verdict = "caught" if failed else "SURVIVED"
        finally:
            source.write_text(original)
        results.append((ident, verdict))
        print(f"{ident:24} {verdict}", flush=True)
    run(["cmake", "--build", str(build), "-j", args.jobs], tree)
    survived = [i for i, v in results if v == "SURVIVED"]
    print(f"{len(results)} faults, {sum(v == 'caught' for _, v in results)} caught, "
          f"{len(survived)} survived: {' '.join(survived)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
