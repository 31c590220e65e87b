#!/usr/bin/env python3
"""Builds the MUSHclient plugin: build_plugin.py ENGINE TABLES VERSION OUTPUT.

Writes OUTPUT (`Brawlhue-VERSION-mushclient.xml`), the one file a player adds with File >
Plugins: the plugin XML of Brawlhue.xml.in with, as its script, the Lua engine (ENGINE, called
with the generated TABLES) in front of brawlhue_plugin.lua. The script sits in a CDATA section,
so no part of it may hold "]]>"; the file is ASCII, as MUSHclient reads plugins.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
AUTHOR = "Tarnwick"


def read(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


def plugin_script(engine_path, tables_path):
    return ("-- Brawlhue's engine (lua/brawlhue_engine.lua) with the tables written from the C++\n"
            "-- engine's own (brawlhue_lua_tables). Built by mushclient/build_plugin.py.\n"
            "local engine = (function(...)\n" + read(engine_path) + "\nend)((function()\n" +
            read(tables_path) + "\nend)())\n\n" +
            read(os.path.join(HERE, "brawlhue_plugin.lua")))


def plugin_version(version):
    """MUSHclient reads a plugin's version as one number: 1.4.3 is 1.0403."""
    parts = version.split(".")
    if len(parts) != 3 or not all(part.isdigit() and int(part) < 100 for part in parts):
        sys.exit(f"build_plugin.py: the version {version} is not MAJOR.MINOR.PATCH below 100")
    major, minor, patch = (int(part) for part in parts)
    return f"{major}.{minor:02d}{patch:02d}"


def plugin_xml(script, version):
    for name, text in (("the script", script), ("the version", version)):
        if "]]>" in text:
            sys.exit(f"build_plugin.py: {name} holds ']]>', which would end its CDATA section")
        if not text.isascii():
            sys.exit(f"build_plugin.py: {name} is not ASCII")
    template = read(os.path.join(HERE, "Brawlhue.xml.in"))
    # The script last: it must not be searched for the other placeholders.
    xml = (template.replace("@PLUGIN_VERSION@", plugin_version(version))
           .replace("@VERSION@", version).replace("@AUTHOR@", AUTHOR))
    return xml.replace("@SCRIPT@", script.rstrip("\n"))


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    engine_path, tables_path, version, output = sys.argv[1:]
    xml = plugin_xml(plugin_script(engine_path, tables_path), version)
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    # Windows line ends, for players who open it in Notepad; MUSHclient reads either.
    with open(output + ".part", "w", encoding="ascii", newline="\r\n") as file:
        file.write(xml)
    os.replace(output + ".part", output)


if __name__ == "__main__":
    main()
