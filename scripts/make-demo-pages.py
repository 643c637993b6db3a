#!/usr/bin/env python3
"""Writes the bundled demo data of Kestrelmoor Mod List.

Generates, under data/:
  defmodlist.dat.in                          master mod list shipped with the program
  mods.dat.in                                catalogue shipped with the program
  listserver/kestrelmoor/modlist/q2modlist.dat.in   current list on the list server
  listserver/kestrelmoor/modlist/mods.dat.in        catalogue on the list server
  listserver/kestrelmoor/modlist/mods/<slug>.htm    one page per mod
  listserver/kestrelmoor/modlist/downloads/<slug>.zip  the demo mods' archives

The list's start page (welcome.htm), the publisher's page (index.htm) and the
stylesheet every page links to (site.css) are written by hand beside them.

The .dat.in files use CR LF after every line and contain the placeholder
@KML_LIST_SERVER@, which the build fills in with configure_file(@ONLY).
Output is deterministic: same table in, same bytes out.

Usage: python3 scripts/make-demo-pages.py [repo root]
"""

import html
import os
import struct
import sys
import zipfile

LIST_SERVER = "@KML_LIST_SERVER@"
MOD_PAGE_BASE = LIST_SERVER + "/kestrelmoor/modlist/mods/"

# Folders of the master list, in display order.
FOLDERS = [
    "Deathmatch",
    "Capture the Flag",
    "Team play",
    "Bots",
    "Total conversions",
    "Single player",
    "Mission packs",
    "Utilities",
    "Demo mods",
]

# Folders that only the current list on the server has, appended after FOLDERS.
NEW_FOLDERS = [
    "Source ports",
]

# (slug, folder, name, description). Order is the order of the links in the list.
MODS = [
    ("rocketarena2", "Deathmatch", "Rocket Arena 2",
     "Round-based arena combat: every player starts a round with full health, "
     "armour and every weapon, and there are no items to pick up. A single map "
     "holds several arenas, and players queue up to fight one on one or in "
     "small teams. It became one of the most played ways to duel in Quake 2."),
    ("actionquake2", "Total conversions", "Action Quake 2",
     "Action Quake 2 swaps the Quake 2 arsenal for real-world firearms and adds "
     "location-based damage, bleeding and bandaging. It is usually played as "
     "round-based team play on city-style maps, and its community has kept it "
     "alive for many years."),
    ("threewavectf", "Capture the Flag", "Threewave CTF",
     "The official Capture the Flag for Quake 2, written by Dave 'Zoid' Kirsch. "
     "Two teams each defend their own flag while trying to bring the enemy flag "
     "home. It adds the off-hand grappling hook and four power-up runes, and it "
     "set the rules most other Quake 2 CTF mods build on."),
    ("lithium2", "Deathmatch", "Lithium II",
     "A highly configurable deathmatch server mod with runes, an off-hand "
     "grappling hook, an improved scoreboard and many options for server "
     "admins. For years it was a common sight on public Quake 2 servers."),
    ("weaponsfactory", "Capture the Flag", "Weapons Factory",
     "A class-based team game built on Capture the Flag. Each class carries its "
     "own weapons, grenades and unique abilities, so a team needs a mix of "
     "attackers, defenders and support players to win."),
    ("lmctf", "Capture the Flag", "Loki's Minions CTF",
     "A Capture the Flag variant aimed at competitive play. It keeps the spirit "
     "of the original CTF while adding match tools and rule options that made "
     "it a favourite of leagues and clan servers."),
    ("jailbreak", "Team play", "Jailbreak",
     "Fragged players do not respawn; they are sent to the other team's jail. "
     "Teammates can free them by reaching the release switch, and a team wins "
     "the round by locking up the entire opposing team."),
    ("gloom", "Total conversions", "Gloom",
     "Gloom pits a team of alien creatures against a team of human soldiers. "
     "Each side builds its own spawn points, and stronger classes become "
     "available as the team scores. Dark, tense maps make it very different "
     "from ordinary deathmatch."),
    ("chaosdm", "Deathmatch", "Chaos Deathmatch",
     "Chaos Deathmatch adds a large set of extra weapons, grenades and gadgets "
     "to Quake 2 deathmatch, along with a grappling hook. It was a popular "
     "choice for fast, chaotic public servers."),
    ("expertq2", "Deathmatch", "Expert Quake2",
     "A competitive rules mod that offers deathmatch, team play and Capture the "
     "Flag modes. Server options cover weapon balance, an off-hand hook and "
     "tools for running matches."),
    ("eraserbot", "Bots", "Eraser Bot",
     "A deathmatch bot by Ryan Feltrin that learns routes through a map while "
     "it plays, so it gets better the longer a level runs. It can also take "
     "part in team games, and was among the best known Quake 2 bots."),
    ("gladiatorbot", "Bots", "Gladiator Bot",
     "A deathmatch bot that moves around each map using pre-computed area "
     "information, which makes it navigate very naturally. Its author later "
     "wrote the bot code for Quake III Arena."),
    ("acebot", "Bots", "ACE Bot",
     "A small, open source bot that builds a node map of a level as it plays. "
     "Because its code is short and readable, it has been the starting point "
     "for bots in many other mods."),
    ("zigockbot", "Bots", "3rd Zigock Bot",
     "A fast, capable bot that plays deathmatch and Capture the Flag. It follows "
     "route files for each map and has many settings for skill and behaviour."),
    ("crbot", "Bots", "CR Bot",
     "A deathmatch bot known for its strong aim and movement, with adjustable "
     "skill so that both beginners and experienced players can practise "
     "against it."),
    ("oakbot", "Bots", "Oak Bot",
     "One of the first bots for Quake 2 deathmatch. Simple to set up, it gave "
     "many players their first taste of offline deathmatch."),
    ("ltkbot", "Bots", "LTK Bot",
     "Bots for Action Quake 2. They let you practise Action Quake's weapons "
     "and team play offline or fill up a quiet server."),
    ("freezetag", "Team play", "Freeze Tag",
     "Fragged players are frozen in place instead of dying, and teammates thaw "
     "them by standing close for a moment. A round ends when one team is "
     "completely frozen."),
    ("headhunters", "Deathmatch", "Headhunters",
     "Fragged players drop their heads, and collecting heads is how you score. "
     "The more heads you carry, the more of a target you become."),
    ("holywars", "Deathmatch", "Holy Wars",
     "Whoever picks up the halo becomes the saint and scores for each frag, "
     "while everyone else hunts the saint. Killing ordinary players instead of "
     "the saint has its own penalties."),
    ("tourney", "Deathmatch", "Tourney",
     "A rules mod for one-on-one tournaments and matches, with ready-up, "
     "countdown and match timing so that duels can be played in a fair, "
     "repeatable way."),
    ("vortex", "Deathmatch", "Vortex",
     "Deathmatch with role-playing elements: players earn experience, gain "
     "levels and spend points on abilities that stay with them between games."),
    ("instagib", "Deathmatch", "InstaGib",
     "Everyone carries a railgun with unlimited ammunition, and a single hit is "
     "a frag. Pure aim, no items to collect."),
    ("catchthechicken", "Deathmatch", "Catch the Chicken",
     "One chicken, many players. Whoever carries the chicken scores points over "
     "time, while everyone else tries to frag the carrier and grab it."),
    ("superheroes2", "Deathmatch", "Superheroes II",
     "Players pick a set of super powers before they spawn, so every fight "
     "mixes different abilities. A light-hearted deathmatch mod with a lot of "
     "variety."),
    ("lox", "Deathmatch", "LOX",
     "A deathmatch mod with a large collection of extra weapons and weapon "
     "modes, made for loud and explosive games."),
    ("q2fortress", "Team play", "Q2 Fortress",
     "A class-based team game in the tradition of Team Fortress, with classes "
     "such as soldier, medic, engineer and sniper working together to capture "
     "objectives."),
    ("paintball2", "Total conversions", "Digital Paint: Paintball 2",
     "Started life as a Quake 2 modification and later grew into a standalone "
     "game. Teams play paintball with markers and grenades in modes such as "
     "Capture the Flag and elimination."),
    ("ddaynormandy", "Total conversions", "DDay: Normandy",
     "A World War II team game: Allied and Axis teams fight over objectives with "
     "period weapons, and each player chooses a role such as rifleman, "
     "machine gunner or sniper."),
    ("lazarus", "Single player", "Lazarus",
     "A toolkit for single-player mapping. It adds a large set of new map "
     "entities for effects, moving objects and scripted sequences, giving "
     "level designers far more to work with than the original game."),
    ("awakening", "Single player", "Awakening",
     "A custom single-player episode with new levels, new textures and "
     "reworked enemies. Best played after finishing the original campaign."),
    ("oblivion", "Single player", "Oblivion",
     "A single-player add-on with its own levels, weapons and monsters, "
     "telling a new story set in the Quake 2 world."),
    ("thereckoning", "Mission packs", "The Reckoning",
     "The first official mission pack, made by Xatrix Entertainment. It adds a "
     "new single-player campaign, new enemies such as the Gekk, and weapons "
     "including the Ion Ripper, the Phalanx Particle Cannon and the Trap."),
    ("groundzero", "Mission packs", "Ground Zero",
     "The second official mission pack, made by Rogue Entertainment. It brings "
     "a new campaign, new monsters such as the Stalker, and weapons including "
     "the ETF Rifle, the Plasma Beam, the Chainfist and the Prox Launcher."),
    ("zaero", "Mission packs", "Zaero",
     "A mission pack made by Team Evolve. It adds a new single-player episode "
     "together with new weapons, items and monsters, plus maps for "
     "deathmatch."),
    ("netpack1", "Mission packs", "Netpack I: Extremities",
     "A retail collection of popular multiplayer mods and maps of its time, "
     "bundled on one disc so that players could try them without hunting for "
     "downloads."),
    ("q2admin", "Utilities", "Q2Admin",
     "A server-side proxy that sits between the server and the game mod. It "
     "adds admin commands, logging and client checks that help keep cheaters "
     "off a server, and works with most mods."),
    ("qstat", "Utilities", "QStat",
     "A command-line program that queries game servers, Quake 2 among many "
     "others, and reports the map, players and ping of each."),
    ("quark", "Utilities", "QuArK",
     "Quake Army Knife: an editor for maps, models and other game files for "
     "Quake engine games, Quake 2 included."),
    ("qeradiant", "Utilities", "QERadiant",
     "A level editor grown from the editor id Software used to build Quake 2. "
     "Many Quake 2 maps were made with it."),
    ("qoole", "Utilities", "Qoole",
     "A level editor for Quake engine games with several 3D views and easy "
     "brush editing, popular with first-time mappers."),
    ("r1q2", "Utilities", "R1Q2",
     "An enhanced Quake 2 client and server with many fixes, better network "
     "code and an extended protocol, while staying compatible with existing "
     "mods."),
    ("q2pro", "Utilities", "Q2PRO",
     "An enhanced Quake 2 client and server focused on online play, with "
     "improved networking, demo handling and modern graphics options."),
    ("keygrip2", "Utilities", "Keygrip 2",
     "A demo editor for Quake 2 recordings. Cut and join demos and add camera "
     "work to turn a recorded game into a movie."),
    ("gibstats", "Utilities", "GibStats",
     "Reads server log files and turns them into statistics pages with frags, "
     "deaths and weapon use for every player."),
    ("q2jump", "Utilities", "Jump",
     "No fighting, just movement: run through jump maps against the clock and "
     "chase the server's best times. A good way to practise trick jumps."),
    ("kestreldemo", "Demo mods", "Kestrel Demo",
     "A tiny mod that comes with Mod List to try installing and playing: its "
     "archive holds a top folder named for the mod, with a pak0.pak, an "
     "autoexec.cfg that greets you in the console, and a readme."),
    ("moordemo", "Demo mods", "Moor Demo",
     "A tiny mod that comes with Mod List to try installing and playing: its "
     "files lie loose at the top of the archive, as many mods ship them."),
    ("moormaps", "Demo mods", "Moor Maps",
     "A tiny map pack that comes with Mod List: its archive holds only a maps "
     "folder and a readme, as map packs do."),
]

# Links that only the current list on the server has, appended after MODS.
NEW_MODS = [
    ("opentdm", "Team play", "OpenTDM",
     "A team deathmatch mod for organised matches, with ready-up, time-outs, "
     "match statistics and voting for common settings."),
    ("openffa", "Deathmatch", "OpenFFA",
     "A modern free-for-all deathmatch mod with sensible defaults, map voting, "
     "statistics and high score tables."),
    ("yamagiquake2", "Source ports", "Yamagi Quake II",
     "A modern source port that stays close to the original game while fixing "
     "bugs and running well on current systems. It supports the official "
     "mission packs and many mods."),
    ("kmquake2", "Source ports", "KMQuake II",
     "An enhanced engine aimed at single-player mods, with higher limits and "
     "extra features. It is the usual choice for playing Lazarus-based mods."),
]

PAGE = """\
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{title}</title>
<link rel="stylesheet" href="../../site.css">
</head>
<body>
<main>
{body}</main>
</body>
</html>
"""

MOD_BODY = """\
<h1>{name}</h1>
<p class="cat">{folder}</p>
<div class="box">
<p>{description}</p>
{download}</div>
<footer><a href="../welcome.htm">Back to the list start page</a></footer>
"""


# The demo mods' archives: (slug, files). Each is a few hundred bytes, and the
# same bytes on every run (fixed dates).
def pak(files):
    """A Quake 2 .pak: header, the files' data, then the directory."""
    data = b""
    directory = b""
    for name, body in files:
        directory += struct.pack("<56sii", name.encode("ascii"), 12 + len(data), len(body))
        data += body
    return b"PACK" + struct.pack("<ii", 12 + len(data), len(directory)) + data + directory


def demo_files(slug, name):
    greeting = ("echo \"%s is loaded: installed by Kestrelmoor Mod List\"\n" % name).encode("ascii")
    readme = ("%s\r\n\r\nA demo mod of Kestrelmoor Mod List. Install it from its page, then press Play.\r\n"
              % name).encode("ascii")
    mod_pak = pak([("maps/%s.txt" % slug, ("A file in %s's pak0.pak.\n" % name).encode("ascii"))])
    if slug == "kestreldemo":
        return [("Kestrel/PAK0.PAK", mod_pak), ("Kestrel/autoexec.cfg", greeting), ("Kestrel/readme.txt", readme)]
    if slug == "moordemo":
        return [("pak0.pak", mod_pak), ("autoexec.cfg", greeting), ("readme.txt", readme)]
    return [("maps/moor1.bsp", b"IBSP" + struct.pack("<i", 38) + bytes(152)), ("readme.txt", readme)]


DEMO_MODS = {"kestreldemo": "Kestrel Demo", "moordemo": "Moor Demo", "moormaps": "Moor Maps"}


def demo_archive(slug, name):
    import io
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for path, body in demo_files(slug, name):
            info = zipfile.ZipInfo(path, date_time=(2026, 1, 1, 12, 0, 0))
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, body)
    return buffer.getvalue()


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def dat_bytes(lines):
    text = "".join(line + "\r\n" for line in lines)
    return text.encode("ascii")


def mod_list_lines(folders, mods):
    lines = ["[ValidHeader]"]
    lines += folders
    lines.append("---")
    for slug, folder, name, _ in mods:
        lines.append("%s?%s?%s%s.htm" % (folder, name, MOD_PAGE_BASE, slug))
    return lines


def check(folders, mods):
    assert len(set(folders)) == len(folders), "duplicate folder"
    slugs = [m[0] for m in mods]
    assert len(set(slugs)) == len(slugs), "duplicate slug"
    for slug, folder, name, desc in mods:
        assert folder in folders, "unknown folder %r" % folder
        assert "?" not in folder and "?" not in name, name
        assert slug.isalnum() and slug == slug.lower(), slug
        assert desc.strip(), slug


def page(title, body):
    return PAGE.format(title=html.escape(title), body=body).encode("ascii")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    data = os.path.join(root, "data")
    modlist = os.path.join(data, "listserver", "kestrelmoor", "modlist")

    all_folders = FOLDERS + NEW_FOLDERS
    all_mods = MODS + NEW_MODS
    check(FOLDERS, MODS)
    check(all_folders, all_mods)

    write_bytes(os.path.join(data, "defmodlist.dat.in"), dat_bytes(mod_list_lines(FOLDERS, MODS)))
    write_bytes(os.path.join(modlist, "q2modlist.dat.in"),
                dat_bytes(mod_list_lines(all_folders, all_mods)))

    catalogue = dat_bytes([
        "[ValidHeader]",
        "Quake2",
        "q2modlist.dat",
        LIST_SERVER + "/kestrelmoor/modlist/q2modlist.zip",
        "q2modlist",
        "welcome.htm",
    ])
    write_bytes(os.path.join(data, "mods.dat.in"), catalogue)
    write_bytes(os.path.join(modlist, "mods.dat.in"), catalogue)


    for slug, name in DEMO_MODS.items():
        write_bytes(os.path.join(modlist, "downloads", slug + ".zip"), demo_archive(slug, name))

    for slug, folder, name, description in all_mods:
        download = ""
        if slug in DEMO_MODS:
            download = ('<p><a href="../downloads/%s.zip" download>Download %s.zip</a> (a demo mod: '
                        'press Install in the downloads list, then Play)</p>\n' % (slug, slug))
        body = MOD_BODY.format(name=html.escape(name), folder=html.escape(folder),
                               description=html.escape(description), download=download)
        write_bytes(os.path.join(modlist, "mods", slug + ".htm"),
                    page(name + " - Kestrelmoor's Quake 2 Mod List", body))


if __name__ == "__main__":
    main()
