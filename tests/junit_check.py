#!/usr/bin/python3
"""Validates a JUnit report of converter-check against the schema beside this script, reads it
with junitparser, as CI servers read it, and holds it against the run's JSON summaries and
against its own counts. Exit 0 when they agree."""

import hashlib
import json
import os
import subprocess
import sys

from junitparser import Error, Failure, JUnitXml, Skipped

CAPTIONS = ["DTR - CD RTU", "RTS - CTS RTU", "CTS - RTS CPU", "CD - DTR CPU", "TX - RX RTU"]
problems = []


def expect(condition, what):
    if not condition:
        problems.append(what)


def outcome(case):
    results = case.result
    if not results:
        return None
    return results[0]


def main(report_path, summary_path):
    summaries = []
    run_of_port = {}
    with open(summary_path, encoding="utf-8") as lines:
        for line in lines:
            record = json.loads(line)
            if record.get("record") == "summary":
                summaries.append(record)
            else:
                run_of_port.setdefault(record["port"], set()).add(record["runId"])
    expect(len({s["invocationId"] for s in summaries}) == 1, "one invocation id")
    expect(len({s["runId"] for s in summaries}) == len(summaries), "a run id a port")
    schema = os.path.join(os.path.dirname(os.path.abspath(__file__)), "junit-report.xsd")
    checked = subprocess.run(["xmllint", "--noout", "--schema", schema, report_path],
                             capture_output=True, text=True)
    expect(checked.returncode == 0, f"not valid: {checked.stderr.strip()}")
    suites = list(JUnitXml.fromfile(report_path))
    expect(len(suites) == len(summaries), f"{len(suites)} suites for {len(summaries)} ports")
    totals = {"tests": 0, "failures": 0, "errors": 0}
    for suite, summary in zip(suites, summaries):
        where = summary["port"]
        expect(suite.name == (summary["unitId"] or summary["port"]), f"{where}: suite {suite.name}")
        properties = {p.name: p.value for p in suite.properties()}
        expect(run_of_port.get(where, {summary["runId"]}) == {summary["runId"]}, f"{where}: run ids")
        for key in ("runId", "invocationId"):
            expect(properties.get(key) == summary[key], f"{where}: {key} property")
        with open(summary["protocols"]["path"], "rb") as protocols:
            digest = hashlib.sha256(protocols.read()).hexdigest()
        expect(summary["protocols"]["sha256"] == digest == properties.get("protocolsSha256"),
               f"{where}: protocol list digest")
        expect(properties.get("port") == summary["port"], f"{where}: port property")
        expect(properties.get("unitId") == (summary["unitId"] or ""), f"{where}: unitId property")
        expect(properties.get("operator") == (summary["operator"] or ""), f"{where}: operator")
        expect(properties.get("station") == summary["station"], f"{where}: station property")
        unit = summary["unit"]
        expect(properties.get("protocolName") == (unit["protocolName"] if unit else ""),
               f"{where}: protocol name {properties.get('protocolName')!r}")
        for reason, count in summary["missed"].items():
            expect(properties.get("missed." + reason) == str(count), f"{where}: missed.{reason}")
        expect(properties.get("replies") == str(summary["replies"]), f"{where}: replies property")
        cases = {case.name: case for case in suite}
        counted = {"failures": 0, "errors": 0, "skipped": 0}
        for case in suite:
            result = outcome(case)
            expect(case.classname == suite.name, f"{where}: classname {case.classname}")
            if isinstance(result, Failure):
                counted["failures"] += 1
            elif isinstance(result, Error):
                counted["errors"] += 1
            elif isinstance(result, Skipped):
                counted["skipped"] += 1
        expect(suite.tests == len(cases), f"{where}: tests={suite.tests}, {len(cases)} cases")
        out = suite._elem.findtext("system-out")
        expect(out == summary["message"], f"{where}: system-out {out!r}")
        for key, value in counted.items():
            expect(getattr(suite, key) == value, f"{where}: {key}={getattr(suite, key)}, counted {value}")
        for caption in CAPTIONS:
            line = summary["lines"][caption]
            result = outcome(cases[caption]) if caption in cases else "missing"
            verdict = line["verdict"]
            if verdict == "pass":
                expect(result is None, f"{where}: {caption} passed but reads {result}")
            elif verdict in ("fail", "intermittent"):
                expect(isinstance(result, Failure) and result.type == verdict,
                       f"{where}: {caption} {verdict} but reads {result}")
                replies = line["ok"] + line["error"]
                expect(result is not None and result.message.startswith(
                    f"Error in {line['error']} of {replies} replies"), f"{where}: {caption} message")
            else:
                expect(isinstance(result, Skipped), f"{where}: {caption} has no verdict but reads {result}")
        reply = cases.get("reply")
        expect(reply is not None, f"{where}: no reply case")
        if reply is not None:
            expect(isinstance(outcome(reply), Error) == (summary["verdict"] == "incomplete"),
                   f"{where}: reply case reads {outcome(reply)} for a run {summary['verdict']}")
        for key in totals:
            totals[key] += getattr(suite, key)
    report = JUnitXml.fromfile(report_path)
    for key, value in totals.items():
        expect(getattr(report, key) == value, f"testsuites {key}={getattr(report, key)}, suites add to {value}")
    for problem in problems:
        print(problem)
    print(f"{len(suites)} suites read, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
