#!/usr/bin/env python3
"""Builds the Mudlet package: build_package.py ENGINE TABLES VERSION OUTPUT.

The package's sources are files, as Muddler lays them out: `mfile` names the package, and
`src/{scripts,triggers,aliases}/GROUP/` holds one `.lua` file per item beside a JSON list of the
items. This writes the package XML Mudlet reads, with the Lua engine (ENGINE, wrapped round the
generated TABLES) as the group's first script, then `config.lua`, and zips both as OUTPUT
(`Brawlhue-VERSION.mpackage`).
"""
import json
import os
import sys
import time
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCES = os.path.join(HERE, "src")
XML_VERSION = "1.001"  # what Mudlet 4 writes into its own packages
TRIGGER_PATTERN_KINDS = {"substring": 0, "regex": 1, "begin": 2, "exact": 3, "lua": 4}


def element(name, text):
    return f"<{name}>{escape(text)}</{name}>"


def item_script(kind, group, item):
    path = os.path.join(SOURCES, kind, group, item["script"])
    with open(path, encoding="utf-8") as file:
        return file.read()


def engine_script(engine_path, tables_path):
    """The engine module as one script: the engine chunk called with the tables chunk's table."""
    with open(engine_path, encoding="utf-8") as file:
        engine = file.read()
    with open(tables_path, encoding="utf-8") as file:
        tables = file.read()
    return ("-- Brawlhue's engine (lua/brawlhue_engine.lua) with the tables written from the C++\n"
            "-- engine's own (brawlhue_lua_tables). Built by mudlet/build_package.py.\n"
            "Brawlhue = Brawlhue or {}\n"
            "Brawlhue.engine = (function(...)\n" + engine + "\nend)((function()\n" + tables +
            "\nend)())\n")


def items(kind, group):
    with open(os.path.join(SOURCES, kind, group, kind + ".json"), encoding="utf-8") as file:
        return json.load(file)


def script_xml(name, script, package, handlers=()):
    handler_list = "".join(element("string", handler) for handler in handlers)
    return (f'<Script isActive="yes" isFolder="no">{element("name", name)}'
            f'{element("packageName", package)}{element("script", script)}'
            f"<eventHandlerList>{handler_list}</eventHandlerList></Script>")


def scripts_xml(group, package, engine):
    body = script_xml(group + " engine", engine, package)
    for item in items("scripts", group):
        body += script_xml(item["name"], item_script("scripts", group, item), package,
                           item.get("eventHandlerList", []))
    return (f'<ScriptGroup isActive="yes" isFolder="yes">{element("name", group)}'
            f'{element("packageName", package)}{element("script", "")}'
            f"<eventHandlerList/>{body}</ScriptGroup>")


def trigger_xml(name, script, package, patterns, folder=False):
    codes = "".join(element("string", pattern["pattern"]) for pattern in patterns)
    kinds = "".join(element("integer", str(TRIGGER_PATTERN_KINDS[pattern["type"]]))
                    for pattern in patterns)
    flags = {"isActive": "yes", "isFolder": "yes" if folder else "no", "isTempTrigger": "no",
             "isMultiline": "no", "isPerlSlashGOption": "no", "isColorizerTrigger": "no",
             "isFilterTrigger": "no", "isSoundTrigger": "no", "isColorTrigger": "no",
             "isColorTriggerFg": "no", "isColorTriggerBg": "no"}
    attributes = " ".join(f'{key}="{value}"' for key, value in flags.items())
    tag = "TriggerGroup" if folder else "Trigger"
    return (f"<{tag} {attributes}>{element('name', name)}{element('script', script)}"
            "<triggerType>0</triggerType><conditonLineDelta>0</conditonLineDelta>"
            f"<mStayOpen>0</mStayOpen><mCommand></mCommand>{element('packageName', package)}"
            "<mFgColor>#ff0000</mFgColor><mBgColor>#ffff00</mBgColor><mSoundFile></mSoundFile>"
            "<colorTriggerFgColor>#000000</colorTriggerFgColor>"
            "<colorTriggerBgColor>#000000</colorTriggerBgColor>"
            f"<regexCodeList>{codes}</regexCodeList>"
            f"<regexCodePropertyList>{kinds}</regexCodePropertyList>")


def triggers_xml(group, package):
    body = "".join(
        trigger_xml(item["name"], item_script("triggers", group, item), package,
                    item["patterns"]) + "</Trigger>" for item in items("triggers", group))
    return trigger_xml(group, "", package, [], folder=True) + body + "</TriggerGroup>"


def alias_xml(name, script, package, regex, folder=False):
    tag = "AliasGroup" if folder else "Alias"
    return (f'<{tag} isActive="yes" isFolder="{"yes" if folder else "no"}">'
            f"{element('name', name)}{element('script', script)}<command></command>"
            f"{element('packageName', package)}{element('regex', regex)}")


def aliases_xml(group, package):
    body = "".join(
        alias_xml(item["name"], item_script("aliases", group, item), package, item["regex"]) +
        "</Alias>" for item in items("aliases", group))
    return alias_xml(group, "", package, "", folder=True) + body + "</AliasGroup>"


def package_xml(package, engine):
    groups = {kind: sorted(os.listdir(os.path.join(SOURCES, kind)))
              for kind in ("scripts", "triggers", "aliases")}
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE MudletPackage>\n'
            f'<MudletPackage version="{XML_VERSION}">'
            "<TriggerPackage>" + "".join(triggers_xml(g, package) for g in groups["triggers"]) +
            "</TriggerPackage><TimerPackage/>"
            "<AliasPackage>" + "".join(aliases_xml(g, package) for g in groups["aliases"]) +
            "</AliasPackage><ActionPackage/>"
            "<ScriptPackage>" +
            "".join(scripts_xml(g, package, engine) for g in groups["scripts"]) +
            "</ScriptPackage><KeyPackage/><HelpPackage><helpURL></helpURL></HelpPackage>"
            "</MudletPackage>\n")


def lua_string(text):
    return json.dumps(text)  # a JSON string of ASCII is a valid Lua string too


def config_lua(mfile, version):
    fields = {"mpackage": mfile["package"], "author": mfile["author"], "title": mfile["title"],
              "description": mfile["description"], "version": version,
              "created": time.strftime("%Y-%m-%dT%H:%M:%S+00:00",
                                       time.gmtime(int(os.environ.get("SOURCE_DATE_EPOCH",
                                                                      time.time()))))}
    return "".join(f"{key} = {lua_string(value)}\n" for key, value in fields.items())


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    engine_path, tables_path, version, output = sys.argv[1:]
    with open(os.path.join(HERE, "mfile"), encoding="utf-8") as file:
        mfile = json.load(file)
    package = mfile["package"]
    xml = package_xml(package, engine_script(engine_path, tables_path))
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    # Fixed times inside the zip, so that the same sources give the same package.
    stamp = (1980, 1, 1, 0, 0, 0)
    with zipfile.ZipFile(output + ".part", "w") as archive:
        for name, text in (("config.lua", config_lua(mfile, version)), (package + ".xml", xml)):
            info = zipfile.ZipInfo(name, stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, text)
    os.replace(output + ".part", output)


if __name__ == "__main__":
    main()
