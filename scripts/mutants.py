#!/usr/bin/env python3
"""Deliberate faults against the test suite.

Each row below breaks the program in one small way (a flipped comparison, a dropped
sign, a limit shifted by one, a skipped error check). The script puts each fault into
the source tree in turn, builds, runs the tests and reports whether any test failed.
A fault that survives is a hole in the suite.

    scripts/mutants.py --tree . --build build [--layout old] [--only ID ...] [--jobs N]
    scripts/mutants.py --tree . [--layout old] --check

--check builds nothing: it names the rows whose text is missing from their file, or
matches more than once there (only the first match is changed). A fault whose text is
missing is "absent"; one in a file this build does not compile is "not-built". Neither
counts in the score.

--layout old uses the file paths of the tree before the controller moved out of the
window (text helpers and backends under src/gpib, the window's procedures in
src/mainwindow), so that an older suite can be measured against the same faults.
The end-to-end tests are left out: they need an X server and take minutes.
"""

import argparse
import json
import pathlib
import subprocess
import sys
import time

# id, file (current layout), file (old layout) or None for the same, text, replacement,
# and where the old layout words it otherwise, its text and replacement
MUTANTS = [
    ("limit-amplitude", "src/instrument/validation.cpp", None,
     "if (a > p.MaxAmplitude)", "if (a >= p.MaxAmplitude * 1.0001f)"),
    ("offset-abs", "src/instrument/validation.cpp", None,
     "std::fabs(singleValue(s.Offset))", "(singleValue(s.Offset))"),
    ("half-amp-steps", "src/instrument/validation.cpp", None,
     "if (!HasSymmetry(p.ModelIndex))\n        h = singleValue", "if (p.ModelIndex == Model::AFG5102)\n        h = singleValue"),
    ("sym-roundup", "src/instrument/validation.cpp", None,
     "if (k != std::trunc(k))", "if (false)"),
    ("freq-low-edge", "src/instrument/validation.cpp", None,
     "else if (f < p.MinFrequency)", "else if (f <= p.MinFrequency * 1.0001f)"),
    ("scope-symmetry", "src/instrument/validation.cpp", None,
     "scope == 0 || scope == 3 || scope == 5", "scope == 0 || scope == 3"),
    ("computed-sign", "src/instrument/commands.cpp", None,
     'std::string text = value < 0 ? "-" : "";', 'std::string text;'),
    ("line-no-sym-skip", "src/instrument/commands.cpp", None,
     "if (HasSymmetry(ModelIndex)) {\n        const std::string symmetry", "if (ModelIndex != Model::AFG5102) {\n        const std::string symmetry"),
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
     "if (comma < slash)", "if (comma > slash)",
     "|| comma < slash)", "|| comma > slash)"),
    ("second-point", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "find('.') != std::string::npos)\n            keyAscii = 0;",
     "find('.') != std::string::npos && false)\n            keyAscii = 0;"),
    ("minus-positive", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "LeadingNumber(rest) > 0)", "LeadingNumber(rest) >= 0)"),
    ("digit-key", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "keyAscii > '9')", "keyAscii > '8')"),
    ("commit-unmarks-failure", "src/instrument/controllerfields.cpp", "src/mainwindow/entryfields.cpp",
     "if (!SendCommand(m_gpib.deviceHandle(), command(f)))\n        return;", "SendCommand(m_gpib.deviceHandle(), command(f));",
     "if (!m_form.SendCommand(gpib.DeviceHandle, command(f)))\n        return;", "m_form.SendCommand(gpib.DeviceHandle, command(f));"),
    ("apply-unmarks-failure", "src/instrument/controller.cpp", "src/mainwindow/mainform.cpp",
     "if (SendCommand(m_gpib.deviceHandle(), SettingLine(settings(), m_profile.ModelIndex))) {",
     "if (SendCommand(m_gpib.deviceHandle(), SettingLine(settings(), m_profile.ModelIndex)) || true) {"),
    ("toggle-failure", "src/instrument/controller.cpp", "src/mainwindow/mainform.cpp",
     'if (!SendCommand(m_gpib.deviceHandle(), "OUT " + target))\n        return;',
     'SendCommand(m_gpib.deviceHandle(), "OUT " + target);'),
    ("off-before-change", "src/instrument/controller.cpp", "src/mainwindow/mainform.cpp",
     "if (m_view.isChecked(Option::TurnOffAtChange))", "if (!m_view.isChecked(Option::TurnOffAtChange))",
     "if (m_ui.Menu_TurnOffAtChange->isChecked())", "if (!m_ui.Menu_TurnOffAtChange->isChecked())"),
    ("save-enable", "src/instrument/controller.cpp", "src/mainwindow/changemarks.cpp",
     "if (magnitude > 1)", "if (magnitude > 2)"),
    ("readback-milli", "src/instrument/readback.cpp", None,
     "return {0, static_cast<float>(LeadingNumber(s)) / 1000};", "return {0, static_cast<float>(LeadingNumber(s))};"),
    ("stored-index", "src/instrument/storedsettings.cpp", None,
     "index < static_cast<double>(options)", "index <= static_cast<double>(options)"),
    ("prologix-escape-plus", "src/bus/prologix/prologix.cpp", "src/gpib/prologix.cpp",
     "c == PrologixEsc || c == '+')", "c == PrologixEsc)"),
    ("sim-offset-abs", "src/sim/simfunctiongenerator.cpp", None,
     "if (above(std::fabs(s.offset), l.maxOffset))", "if (above(s.offset, l.maxOffset))"),
    ("read-timeout-code", "src/gpib/io.cpp", None,
     "constexpr int16_t ReadTimeoutCode = 12;", "constexpr int16_t ReadTimeoutCode = 11;"),
    ("prologix-read-eoi", "src/bus/prologix/prologix.cpp", "src/gpib/prologix.cpp",
     'sendLine("++read eoi")', 'sendLine("++read 10")'),
    ("spoll-sign", "src/gpib/driver.cpp", None,
     "statusByte = static_cast<int16_t>(static_cast<unsigned char>(spr));",
     "statusByte = static_cast<int16_t>(spr);"),
    ("sim-end-always", "src/sim/simbus.cpp", None,
     "return done(out.empty() ? gpib::END : 0, 0", "return done(gpib::END, 0"),
    ("paste-guard", "src/mainwindow/entryfield.cpp", None,
     "event->matches(QKeySequence::Paste) ||", "false ||"),
    # --- text helpers ---
    ("carry-digit", "src/text/format.cpp", "src/gpib/format.cpp",
     "r / kPow10[d]) >= kPow10[e]) {", "r / kPow10[d]) > kPow10[e]) {"),
    ("whole-number-tail", "src/text/trim.h", "src/gpib/text.h",
     " || r.ptr != text.data() + text.size())", ")"),
    ("trim-space-end", "src/text/trim.h", "src/gpib/text.h",
     "while (!s.empty() && space(s.back()))\n        s.remove_suffix(1);", ""),

    # --- the GPIB module: driver wrapper, discovery, I/O ---
    ("query-after-failed-write", "src/gpib/io.cpp", None,
     "if (GpibErrorFlag || (wanted && !wanted()))", "if (wanted && !wanted())",
     "if (GpibErrorFlag)\n        return {};", "if (false)\n        return {};"),
    ("failed-ask-restores", "src/gpib/io.cpp", None,
     "const bool savedKnown = !(m_driver.ibsta() & gpib::ERR);", "const bool savedKnown = true;"),
    ("read-error-ends", "src/gpib/io.cpp", None,
     "if ((status & gpib::TIMO) || (status & gpib::ERR) ||", "if ((status & gpib::TIMO) ||"),
    ("cancel-ends-program", "src/gpib/io.cpp", None,
     "if (answer == MessageBoxService::Answer::Cancel)", "if (answer == MessageBoxService::Answer::Ok)"),
    ("find-clear-after-error", "src/gpib/discovery.cpp", None,
     "if (m_driver.ibsta() & gpib::ERR)\n            m_driver.ibclr(spare);",
     "if (false)\n            m_driver.ibclr(spare);"),
    ("stale-status", "src/gpib/driver.cpp", None,
     "if (!m_statusGlobalsRegistered) {\n        // The driver could not deliver",
     "if (false) {\n        // The driver could not deliver"),
    ("event-wait-quit", "src/gpib/eventwaiter.cpp", None,
     "if (loop.exec() == -1) {", "if (false) {"),
    ("end-outside-call", "src/gpib/busthread.cpp", None,
     "    if (m_depth == 0)\n        return false;", "    if (m_depth < 0)\n        return false;"),
    ("pending-inside-call", "src/gpib/busthread.cpp", None,
     "    if (m_depth > 0)\n        return;\n    std::vector", "    std::vector"),

    # --- the instrument logic and its controller ---
    ("pfg-profile", "src/instrument/profile.cpp", None,
     'if (ModelName == "PFG5105")\n        return afg5101;', 'if (ModelName == "PFG5105")\n        return afg5102;'),
    ("option-true-case", "src/instrument/settingsstore.cpp", "src/app/settingsstore.cpp",
     'QLatin1String("True"), Qt::CaseInsensitive)', 'QLatin1String("True"), Qt::CaseSensitive)'),
    ("sheet-decades", "src/instrument/specsheet.cpp", "src/about/specsheet.cpp",
     "if (!HasSymmetry(p.ModelIndex)) {\n        s += DecadeBlocks", "if (p.ModelIndex == Model::AFG5102) {\n        s += DecadeBlocks"),
    ("waveform-unknown", "src/instrument/readback.cpp", None,
     "return option <= 2 ? option : 0;", "return option;"),
    ("failed-query-counted", "src/instrument/controllerfields.cpp", None,
     "if (reply.empty())\n        ++m_failedQueries;", "if (false)\n        ++m_failedQueries;"),
    ("unload-bus-error", "src/instrument/controller.cpp", "src/mainwindow/mainform.cpp",
     "(driver.iberr() == gpib::ENOL || driver.iberr() == gpib::EBUS)", "(driver.iberr() == gpib::ENOL)"),

    # --- bus backends: shared status and handles ---
    ("timeout-code-zero", "src/bus/backend.cpp", "src/gpib/backend.cpp",
     "if (code < 0 || code >= static_cast<int>(table.size()))",
     "if (code < 1 || code >= static_cast<int>(table.size()))"),
    ("iberr-on-error", "src/bus/backend.cpp", "src/gpib/backend.cpp",
     "if (status & gpib::ERR)\n        *v.iberr = error;", "*v.iberr = error;"),
    ("clock-sleep", "src/bus/clock.cpp", "src/gpib/clock.cpp",
     "if (d > Duration::zero())", "if (d < Duration::zero())"),
    # The old tree had these checks in each backend: the simulated bus's copy stands in.
    ("no-etab", "src/bus/handlebackend.h", "src/sim/simbus.cpp",
     "if (found.size() > written)\n            done(", "if (false)\n            done(",
     "if (found.size() > written) {", "if (false) {"),
    ("empty-read", "src/bus/handlebackend.h", "src/sim/simbus.cpp",
     "reading ? count <= 0 || !buffer", "reading ? count < 0 || !buffer",
     "if (count <= 0 || !buffer)", "if (count < 0 || !buffer)"),
    # the system's GPIB library
    ("ibsre-needs-own", "src/bus/system/systemlibrary.cpp", "src/gpib/systemlibrary.cpp",
     'need(e.ibsre || e.ibconfig, "ibsre");', 'need(e.ibsre, "ibsre");'),
    ("missing-named", "src/bus/system/systemlibrary.cpp", "src/gpib/systemlibrary.cpp",
     "if (missing.size() <= Named + 1)", "if (missing.size() <= Named)"),
    ("pad-option", "src/bus/system/systemlibrary.cpp", "src/gpib/systemlibrary.cpp",
     "constexpr int IbcPAD = 0x1;", "constexpr int IbcPAD = 0x2;"),
    # Prologix-compatible controllers and their links
    ("prologix-tmo-cap", "src/bus/prologix/prologix.cpp", "src/gpib/prologix.cpp",
     "(us + 999) / 1000, 1, MaxReadTimeoutMs)", "(us + 999) / 1000, 1, 30000)"),
    ("prologix-empty-version", "src/bus/prologix/prologix.cpp", "src/gpib/prologix.cpp",
     "} while (w == Wait::Done && TrimSpace(line).empty() && m_clock.now() < attemptEnd);", "} while (false);"),
    ("prologix-settle-drain", "src/bus/prologix/prologix.cpp", "src/gpib/prologix.cpp",
     "    if (m_reading) {\n        const Wait w =", "    if (false) {\n        const Wait w ="),
    ("prologix-setting-resent", "src/bus/prologix/prologix.cpp", "src/gpib/prologix.cpp",
     "    sent = wanted;\n    return true;", "    return true;",
     "    m_address = pad;\n    return true;", "    return true;"),
    ("prologix-mark-at-n", "src/bus/prologix/prologix.cpp", "src/gpib/prologix.cpp",
     "if (w == Wait::Done && mark != std::string::npos && mark <= n) {",
     "if (w == Wait::Done && mark != std::string::npos && mark < n) {"),
    ("com-short", "src/bus/prologix/prologixaddress.cpp", "src/gpib/prologix.cpp",
     "text.size() > 3 && (text.starts_with", "text.size() > 4 && (text.starts_with"),
    ("serial-timeout-fails", "src/bus/prologix/prologixlink.cpp", "src/gpib/prologixlink.cpp",
     "if (m_port.error() != QSerialPort::TimeoutError && m_port.error() != QSerialPort::NoError)",
     "if (m_port.error() != QSerialPort::NoError)"),
    ("comport-unplugged", "src/bus/prologix/comportlink.cpp", None,
     "if (!waiting(ready)) // an adapter unplugged, for one", "if (false)"),
    ("peer-closed", "src/bus/tcplink.cpp", "src/gpib/prologixlink.cpp",
     "m_socket.error() == QAbstractSocket::RemoteHostClosedError",
     "m_socket.error() != QAbstractSocket::RemoteHostClosedError"),
    ("port-zero", "src/bus/hostport.cpp", "src/gpib/prologix.cpp",
     "if (!p || *p < 1 || *p > 65535)", "if (!p || *p < 0 || *p > 65535)"),
    # ONC RPC and the VXI-11 client
    ("record-size-cap", "src/bus/oncrpc.cpp", None,
     "if (m_fragmentLeft > m_max - m_record.size()) {", "if (m_fragmentLeft > m_max) {"),
    ("fragment-is-record", "src/bus/oncrpc.cpp", None,
     "            if (m_lastFragment) {", "            if (true) {"),
    ("wrong-xid-decoded", "src/bus/oncrpc.cpp", None,
     "if (r.xid != xid) {", "if (r.xid != xid && false) {"),
    ("rpc-version-answered", "src/bus/oncrpc.cpp", None,
     "if (c.rpcvers != RpcVersion)\n        return c;", "if (c.rpcvers != RpcVersion)\n        return std::nullopt;"),
    ("late-reply-skipped", "src/bus/vxi11/rpcchannel.cpp", None,
     "continue; // the late answer to a call given up on", "return Outcome::Lost;"),
    ("lost-link-ends-wait", "src/bus/vxi11/rpcchannel.cpp", None,
     "if (failed)\n            return Outcome::Lost;", "if (failed && false)\n            return Outcome::Lost;"),
    ("no-core-port", "src/bus/vxi11/vxi11address.cpp", None,
     "if (port.value == 0 || port.value > 65535)", "if (port.value > 65535)"),
    ("forever-io", "src/bus/vxi11/vxi11bus.cpp", None,
     "if (us <= 0)\n        return most;", "if (us < 0)\n        return most;"),
    ("timeout-loses", "src/bus/vxi11/vxi11bus.cpp", None,
     "if (out == O::Lost || out == O::TimedOut || out == O::Aborted)",
     "if (out == O::Lost || out == O::Aborted)"),
    ("ioerror-read", "src/bus/vxi11/vxi11bus.cpp", None,
     "op == Op::Read ? gpib::EABO : gpib::ENOL", "op == Op::Read ? gpib::ENOL : gpib::EABO"),
    ("end-every-chunk", "src/bus/vxi11/vxi11bus.cpp", None,
     "p.flags = last && h->eot ? vxi11::EndFlag : 0;", "p.flags = (last || n > 0) && h->eot ? vxi11::EndFlag : 0;"),
    ("remote-new-links", "src/bus/vxi11/vxi11bus.cpp", None,
     "if (m_remote)\n        remote(link->lid);", "if (!m_remote)\n        remote(link->lid);"),
    ("locked-interface", "src/bus/vxi11/vxi11interface.cpp", None,
     "if (out == RpcChannel::Outcome::Done && r.value.error == vxi11::Locked) {", "if (false) {"),
    ("docmd-unsupported", "src/bus/vxi11/vxi11interface.cpp", None,
     "(o == RpcChannel::Outcome::Done && r.value.error == vxi11::NotSupported)", "(false)"),
    ("ndac-zero", "src/bus/vxi11/vxi11interface.cpp", None,
     "present = ndac && *ndac != 0;", "present = ndac.has_value();"),
    ("probe-keeps-link", "src/bus/vxi11/vxi11interface.cpp", None,
     "if (!answered && !had) {", "if (!answered && (!had || true)) {"),
    # The trace written around another backend
    ("trace-cancel-kept", "src/bus/tracingbackend.cpp", None,
     "    GpibBackend::cancelCalls();\n    m_inner->cancelCalls();", "    GpibBackend::cancelCalls();"),
    ("trace-own-words", "src/bus/tracingbackend.cpp", None,
     "else if (meets == Meets::NoListener && o.error == gpib::ENOL)", "else if (false)"),
    ("second-client-untold", "src/bus/prologix/prologixaddress.cpp", "src/gpib/prologix.cpp",
     "if (address.kind == PrologixAddress::Kind::Tcp)\n        error +=", "if (false)\n        error +="),

    # --- the simulated bus, its instruments and the simulated controllers ---
    ("trace-backslash", "src/bus/tracingbackend.cpp", "src/sim/simbus.cpp",
     "if (c < 0x20 || c == 0x7F || c == '\\\\') {", "if (c < 0x20 || c == 0x7F) {"),
    ("empty-bus", "src/sim/simbus.cpp", None,
     "if (m_devices.empty()) {", "if (false) {"),
    ("mute-polls", "src/sim/simbus.cpp", None,
     "if (!d || !d->talks())\n        return timedOut(*h);", "if (!d)\n        return timedOut(*h);"),
    ("eot-held", "src/sim/simbus.cpp", None,
     "if (h->eot) {", "if (true) {"),
    ("glued-header", "src/sim/simcommand.cpp", None,
     "if (!c.query && i < part.size() && !std::isspace", "if (false && i < part.size() && !std::isspace"),
    ("exponent-digits", "src/sim/simcommand.cpp", None,
     "if (expDigits == 0)\n            return std::nullopt;", "if (false)\n            return std::nullopt;"),
    ("engineering-floor", "src/sim/simcommand.cpp", None,
     "std::floor(decimalExponent / 3.0)", "std::trunc(decimalExponent / 3.0)"),
    ("sim-address-31", "src/sim/simconfig.cpp", None,
     "*address < 1 || *address > gpib::MaxPad)", "*address < 1 || *address > gpib::MaxPad + 1)",
     "address < 1 || address > 30", "address < 1 || address > 31"),
    ("sim-duplicate", "src/sim/simconfig.cpp", None,
     "if (!fresh) {", "if (false) {",
     "            !used.insert(address).second)", "            (used.insert(address), false))"),
    ("other-id-query", "src/sim/simdevice.cpp", None,
     'c.header == "ID" && c.query && c.argument.empty()', 'c.header == "ID" && c.argument.empty()'),
    ("half-amplitude-10mv", "src/sim/simfunctiongenerator.cpp", None,
     "if (l.halfAmplitudeIn10mV)", "if (!l.halfAmplitudeIn10mV)"),
    ("full-span-edge", "src/sim/simfunctiongenerator.cpp", None,
     "if (s.frequency <= l.fullSpanFrequency * (1 + Slack))", "if (s.frequency < l.fullSpanFrequency * (1 - Slack))"),
    ("symmetry-margin-ceil", "src/sim/simfunctiongenerator.cpp", None,
     "std::ceil(s.frequency / 400e3 - 1e-9)", "std::floor(s.frequency / 400e3 - 1e-9)"),
    ("sym-on-fixed-model", "src/sim/simfunctiongenerator.cpp", None,
     '} else if (c.header == "SYM" && number && l.variableSymmetry) {',
     '} else if (c.header == "SYM" && number && (true || l.variableSymmetry)) {'),
    ("trace-error-once", "src/sim/simtrace.cpp", None,
     "if (written || m_writeFailed)", "if (written)"),
    ("adapter-setting-range", "src/sim/servers/prologixadapter.cpp", None,
     "if (!v || *v < low || *v > high)", "if (!v || *v < low || *v > high + 1)"),
    ("adapter-empty-line", "src/sim/servers/prologixadapter.cpp", None,
     "if (line.empty())\n        return; // CR LF ends one line, not two", ""),
    ("adapter-handle-moves", "src/sim/servers/prologixadapter.cpp", None,
     "if (m_handlePads[i] != m_pad) {", "if (false) {"),
    ("adapter-silent-poll", "src/sim/servers/prologixadapter.cpp", None,
     "if (m_bus.ibrsp(h, &statusByte) & gpib::ERR)\n        return;", "m_bus.ibrsp(h, &statusByte);"),
    ("adapter-lists-itself", "src/sim/servers/prologixadapter.cpp", None,
     "if (a == 0)\n                continue; // the controller itself", ""),
    ("one-client", "src/sim/servers/prologixserver.cpp", None,
     "if (m_client) {\n            socket->abort();", "if (false) {\n            socket->abort();"),
    ("link-name-fits", "src/bus/xdr.h", None,
     "XDR_SETPOS(x, static_cast<u_int>(end));", "XDR_SETPOS(x, static_cast<u_int>(end + 1));"),
    ("local-is-remote", "src/sim/servers/vxi11calls.cpp", None,
     "return g.remote(channel, r, proc == device_remote);", "return g.remote(channel, r, true);"),
    ("fault-after", "src/sim/servers/vxi11server.cpp", None,
     "m_coreCalls > m_faults.after", "m_coreCalls >= m_faults.after"),
    ("lock-deadline-first-try", "src/sim/servers/vxi11server.cpp", None,
     "if (!h.lockWait)\n            h.due", "if (true)\n            h.due"),
    ("abort-unknown-link", "src/sim/servers/vxi11server.cpp", None,
     "m_gateway.hasLink(*lid) ? NoError : InvalidLink", "NoError"),
    ("delay-ignored", "src/sim/servers/vxi11server.cpp", None,
     "h.due = now + h.answer.hold + h.lateBy;", "h.due = now + h.answer.hold;"),
    ("gateway-pad-zero", "src/sim/servers/vxi11gateway.cpp", None,
     "pad < 1 || pad > gpib::MaxPad)", "pad < 0 || pad > gpib::MaxPad)"),
    ("gateway-secondary", "src/sim/servers/vxi11gateway.cpp", None,
     "if (primary.size() != rest.size())\n        return {DeviceNotAccessible, 0};", ""),
    ("gateway-wait-flag", "src/sim/servers/vxi11gateway.cpp", None,
     "a.waitsForLock = (r.flags & WaitLock) != 0 && r.lockTimeoutMs > 0;",
     "a.waitsForLock = r.lockTimeoutMs > 0;"),
    ("gateway-unlock-other", "src/sim/servers/vxi11gateway.cpp", None,
     "if (holder == m_locks.end() || holder->second != lid) {", "if (holder == m_locks.end()) {"),
    ("gateway-byte-order", "src/sim/servers/vxi11gateway.cpp", None,
     "r.networkOrder ? b0 << 8 | b1 : b1 << 8 | b0", "b0 << 8 | b1"),
]


def run(cmd, cwd):
    return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


def compiled_sources(build):
    """The sources this build compiles, or None where it keeps no compile database."""
    database = build / "compile_commands.json"
    if not database.exists():
        return None
    return {pathlib.Path(entry["file"]).resolve() for entry in json.loads(database.read_text())}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tree", default=".")
    ap.add_argument("--build", default="build")
    ap.add_argument("--layout", choices=["new", "old"], default="new")
    ap.add_argument("--only", nargs="*")
    ap.add_argument("--jobs", default="2")
    ap.add_argument("--check", action="store_true",
                    help="only say where each fault's text is missing or not the first match")
    args = ap.parse_args()
    tree = pathlib.Path(args.tree).resolve()
    build = pathlib.Path(args.build)
    if not build.is_absolute():
        build = tree / build
    # A fault in a file this platform does not compile (the Win32 COM-port link on Linux)
    # would survive whatever the tests do: it is reported apart.
    compiled = None if args.check else compiled_sources(build)

    results = []
    for ident, path, oldpath, text, replacement, *old in MUTANTS:
        if args.only and ident not in args.only:
            continue
        if args.layout == "old" and old:
            text, replacement = old
        source = tree / (oldpath if args.layout == "old" and oldpath else path)
        original = source.read_text() if source.exists() else ""
        if args.check:
            count = original.count(text)
            if count != 1:
                print(f"{ident:26} {source.relative_to(tree)}: "
                      f"{'absent' if count == 0 else f'{count} matches, the first is changed'}")
            continue
        if text not in original:
            verdict = "absent"
        elif compiled is not None and source.suffix == ".cpp" and source.resolve() not in compiled:
            verdict = "not-built"
        else:
            verdict = None
        if verdict:
            results.append((ident, verdict))
            print(f"{ident:26} {verdict}", flush=True)
            continue
        began = time.monotonic()
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
        print(f"{ident:26} {verdict:8} {time.monotonic() - began:5.0f} s", flush=True)
    if args.check:
        return 0
    run(["cmake", "--build", str(build), "-j", args.jobs], tree)
    survived = [i for i, v in results if v == "SURVIVED"]
    measured = [v for _, v in results if v in ("caught", "SURVIVED")]
    print(f"{len(results)} faults, {len(measured)} measured, "
          f"{sum(v == 'caught' for v in measured)} caught, "
          f"{len(survived)} survived: {' '.join(survived)}")
    return 0

if __name__ == "__main__":
    sys.exit(main())
