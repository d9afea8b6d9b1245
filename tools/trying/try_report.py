"""The reports of try-setup: one run's report (report.md, report.html), and
the overview of a matrix of runs (overview.md, overview.html)."""

import base64
import html

NOISE_NOTE = ("Keys Wine writes on its own (its display driver's, its service "
              "manager's count) are left out.")
STYLE = """body{font-family:sans-serif;margin:2em;max-width:100em}
table{border-collapse:collapse} td,th{border:1px solid #999;padding:3px 8px;text-align:left;
vertical-align:top;font-family:monospace;overflow-wrap:anywhere}
.box{border:1px solid #ccc;padding:0 1em 1em;margin:1em 0} pre{white-space:pre-wrap}
code.line{white-space:pre-wrap;background:#eef;padding:1px 2px}
li.failed,td.differs{background:#fdd} li.failed::after{content:"  \\2190 failed";color:#b00}
ol.calls{font-family:monospace;overflow-wrap:anywhere}
table.overview td,table.overview th{overflow-wrap:break-word}"""


def md_table(headers, rows):
    """A markdown table; a line break in a cell (a box's text) is shown as one."""
    lines = ["| " + " | ".join(headers) + " |", "|" + "---|" * len(headers)]
    for row in rows:
        cells = [str(c).replace("|", "\\|").replace("\n", "<br>") for c in row]
        lines.append("| " + " | ".join(cells) + " |")
    return lines if rows else ["(none)"]


def html_cells(row, tag="td"):
    return "".join(f"<{tag}>{c if isinstance(c, Markup) else html.escape(str(c))}</{tag}>"
                   for c in row)


def html_table(headers, rows):
    if not rows:
        return "<p>(none)</p>"
    body = "".join(f"<tr>{html_cells(r)}</tr>" for r in rows)
    return f"<table><tr>{html_cells(headers, 'th')}</tr>{body}</table>"


class Markup(str):
    """HTML that goes into a cell as it is."""


def command_line(text):
    """A command line as received, every blank kept and visible."""
    return Markup(f'<code class="line">{html.escape(text)}</code>')


def page(title, body):
    return (f'<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>{html.escape(title)}'
            f"</title>\n<style>{STYLE}</style>\n</head><body>\n{body}\n</body></html>\n")


NEXT_START_NOTE = ("The emulated system's start after the run: it applies WININIT.INI, then "
                   "starts what RunServicesOnce names; the stand-in monitor keeps running.")


def run_markdown(run, level):
    """One run's sections in markdown, their headings at this level ("##")."""
    failed = sum(call.failed for call in run["calls"])
    md = [f"{level} Message boxes", ""]
    md += md_table(["#", "caption", "text", "answer", "screenshot"],
                   [(i + 1, b.caption, b.text, b.answer, b.screenshot.name)
                    for i, b in enumerate(run["boxes"])])
    md += ["", f"{level} Files under the Windows directory", ""]
    md += md_table(["change", "path", "size"], run["files"])
    md += ["", f"{level} Registry", "", NOISE_NOTE, ""]
    md += md_table(["change", "key or value", "data"], run["registry"])
    md += ["", f"{level} Programs started", "",
           "Command lines exactly as the programs received them.", ""]
    md += md_table(["program", "command line", "exit status"],
                   [(name, f"`{line}`", status) for name, line, status in run["programs"]])
    md += ["", f"{level} Sections installed", ""]
    md += [f"- {s}" for s in run["sections"]] or ["(none)"]
    if run["next_start"] is not None:
        start = run["next_start"]
        md += ["", f"{level} The next start", "", NEXT_START_NOTE, "",
               "WININIT.INI's [rename] lines it applied:", ""]
        md += [f"- `{line}`" for line in start["applied"]] or ["(none)"]
        md += ["", "Programs it started:", ""]
        md += md_table(["command line", "size of the file it ran from"],
                       [(f"`{line}`", f"{size:,} bytes") for line, size in start["programs"]])
    md += ["", f"{level} System calls", "",
           f"setup.exe's calls to the system in order, {len(run['calls'])} in all, "
           f"{failed} failed.", ""]
    md += [f"{i + 1}. `{call}`" + (" (failed)" if call.failed else "")
           for i, call in enumerate(run["calls"])] or ["(none recorded)"]
    return md


def run_html(run, level):
    """One run's sections in HTML, their headings at this level ("h2")."""
    failed = sum(call.failed for call in run["calls"])
    sub = "h3" if level == "h2" else "h4"
    boxes = []
    for i, box in enumerate(run["boxes"]):
        image = ""
        if box.screenshot.exists():
            data = base64.b64encode(box.screenshot.read_bytes()).decode()
            image = f'<img alt="box {i + 1}" src="data:image/png;base64,{data}">'
        boxes.append(f"<div class=box><{sub}>{i + 1}. {html.escape(box.caption)}</{sub}>"
                     f"<pre>{html.escape(box.text)}</pre><p>Answered: <b>{box.answer}</b></p>"
                     f"{image}</div>")
    calls = "".join(f'<li{" class=failed" if call.failed else ""}>{html.escape(str(call))}</li>'
                    for call in run["calls"])
    sections = "".join(f"<li>{html.escape(s)}</li>" for s in run["sections"])
    start_html = ""
    if run["next_start"] is not None:
        start = run["next_start"]
        applied = "".join(f"<li>{command_line(line)}</li>" for line in start["applied"])
        started = [(command_line(line), f"{size:,} bytes") for line, size in start["programs"]]
        start_html = (f"<{level}>The next start</{level}><p>{NEXT_START_NOTE}</p>"
                      f"<p>WININIT.INI's [rename] lines it applied:</p>"
                      f"<ul>{applied or '<li>(none)</li>'}</ul><p>Programs it started:</p>"
                      f"{html_table(['command line', 'size of the file it ran from'], started)}")
    programs = [(name, command_line(line), status) for name, line, status in run["programs"]]
    return f"""<{level}>Message boxes</{level}>{''.join(boxes) or '<p>(none)</p>'}
<{level}>Files under the Windows directory</{level}>{html_table(['change', 'path', 'size'], run['files'])}
<{level}>Registry</{level}><p>{NOISE_NOTE}</p>{html_table(['change', 'key or value', 'data'], run['registry'])}
<{level}>Programs started</{level}><p>Command lines exactly as the programs received them.</p>
{html_table(['program', 'command line', 'exit status'], programs)}
<{level}>Sections installed</{level}><ul>{sections or '<li>(none)</li>'}</ul>
{start_html}
<{level}>System calls</{level}>
<details><summary>setup.exe's calls to the system in order: {len(run['calls'])}, of which
{failed} failed</summary><ol class=calls>{calls}</ol></details>"""


def write_report(out, facts, runs):
    """report.md and report.html in out, for one run or for a run and the one
    after it on the same system, each under its name; returns the markdown."""
    title = facts["title"]
    md = [f"# {title}", "", f"- Command line: `{facts['command']}`",
          f"- Media: `{facts['media']}`"]
    page_body = [f"<h1>{html.escape(title)}</h1>",
                 f"<ul><li>Command line: <code>{html.escape(facts['command'])}</code></li>",
                 f"<li>Media: <code>{html.escape(str(facts['media']))}</code></li></ul>"]
    for run in runs:
        name = run["name"]
        # (label, the figure in bold or "", what it says)
        status = "" if run["status"] is None else str(run["status"])
        lines = ([("Started", "", run["started"])] if run.get("started") else []) + [
            ("Exit status", status, run["meaning"]), ("Restart", "", run["restart"])]
        summary = [f"- {label}: " + (f"**{bold}**: " if bold else "") + text
                   for label, bold, text in lines]
        summary_html = "<ul>" + "".join(
            f"<li>{label}: " + (f"<b>{bold}</b>: " if bold else "") + f"{html.escape(text)}</li>"
            for label, bold, text in lines) + "</ul>"
        if len(runs) == 1:
            md += summary + [""] + run_markdown(run, "##")
            page_body += [summary_html, run_html(run, "h2")]
        else:
            md += ["", f"## {name}", ""] + summary + [""] + run_markdown(run, "###")
            page_body += [f"<h2>{html.escape(name)}</h2>", summary_html, run_html(run, "h3")]
    md.append("")
    (out / "report.md").write_text("\n".join(md))
    (out / "report.html").write_text(page(title, "\n".join(page_body)))
    return "\n".join(md)


# --- the overview of a matrix of runs ---

OVERVIEW_COLUMNS = ["exit status", "boxes (question: answer)", "files", "registry",
                    "programs started", "sections installed", "restart"]


def last_name(path):
    return path.rsplit("\\", 1)[-1]


def grouped(pairs):
    """"kind: a, b, c" lines, one per kind in order of first appearance, a
    repeated name as "name ×n"."""
    kinds = {}
    for kind, name in pairs:
        kinds.setdefault(kind, []).append(name)
    lines = []
    for kind, names in kinds.items():
        counted = {name: names.count(name) for name in names}
        shown = [name if n == 1 else f"{name} ×{n}" for name, n in counted.items()]
        lines.append(f"{kind}: {', '.join(shown)}")
    return "\n".join(lines) or "(none)"


def registry_name(what):
    """A registry change by its key's last name, and the value's name: SCardSvr "Start"."""
    key, _, value = what.partition(' "')
    return last_name(key) + (f' "{value}' if value else "")


def overview_cells(facts):
    """What one run did, a cell per column, short enough to read at a glance
    (the run's report has it whole), as text to compare across runs."""
    programs = [name + ("" if status == 0 else f" (status {status})")
                for name, _, status in facts["programs"]]
    start = facts["next_start"]
    if start is not None:
        programs += [f"at the next start: {last_name(line)} ({size:,} bytes)"
                     for line, size in start["programs"]]
    return [
        f"{facts['status']}: {facts['meaning'].split(':')[0]}",
        "\n".join(f"{b.name or b.caption}: {b.answer}" for b in facts["boxes"]) or "(none)",
        grouped((change, last_name(path)) for change, path, _ in facts["files"]),
        grouped((change, registry_name(what)) for change, what, _ in facts["registry"]),
        grouped(("started", name) for name in programs),
        "\n".join(section.split(",")[0] for section in facts["sections"]) or "(none)",
        facts["restart"].split(";")[0],
    ]


def write_overview(out, runs, reference):
    """overview.md and overview.html: runs is [(name, label, facts)], and cells
    that differ from the reference run's are marked."""
    base = overview_cells(next(facts for name, _, facts in runs if name == reference))
    reference_label = next(label for name, label, _ in runs if name == reference)
    note = f"Cells marked differ from the {reference_label} run."
    md = ["# setup.exe on every system", "", note + " (marked **≠**)", ""]
    rows_md, rows_html = [], []
    for name, label, facts in runs:
        cells = overview_cells(facts)
        rows_md.append([f"[{label}]({name}/report.md)"] +
                       [("**≠** " if c != b else "") + c.replace("\n", "; ")
                        for c, b in zip(cells, base)])
        marked = "".join(
            f'<td{" class=differs" if c != b else ""}>{html.escape(c).replace(chr(10), "<br>")}'
            "</td>" for c, b in zip(cells, base))
        rows_html.append(f'<tr><td><a href="{name}/report.html">{html.escape(label)}</a></td>'
                         f"{marked}</tr>")
    md += md_table(["run"] + OVERVIEW_COLUMNS, rows_md)
    (out / "overview.md").write_text("\n".join(md) + "\n")
    headers = html_cells(["run"] + OVERVIEW_COLUMNS, "th")
    body = (f"<h1>setup.exe on every system</h1><p>{html.escape(note)}</p>"
            f"<table class=overview><tr>{headers}</tr>{''.join(rows_html)}</table>")
    (out / "overview.html").write_text(page("setup.exe on every system", body))
