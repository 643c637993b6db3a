#!/usr/bin/env python3
"""Writes the bundled demo data of Kestrelmoor Mod List.

Generates, under data/:
  defmodlist.dat.in                          master mod list shipped with the program
  mods.dat.in                                catalogue shipped with the program
  listserver/kestrelmoor/modlist/q2modlist.dat.in   current list on the list server
  listserver/kestrelmoor/modlist/mods.dat.in        catalogue on the list server
  listserver/kestrelmoor/modlist/welcome.htm        start page
  listserver/kestrelmoor/modlist/mods/<slug>.htm    one page per mod
  listserver/kestrelmoor/index.htm                  the publisher's page
  listserver/kestrelmoor/site.css                   the stylesheet every page links to

The .dat.in files use CR LF after every line and contain the placeholder
@KML_LIST_SERVER@, which the build fills in with configure_file(@ONLY).
Output is deterministic: same table in, same bytes out.

Usage: python3 scripts/make-demo-pages.py [repo root]
"""

import html
import os
import sys

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

CSS = """\
/* The look of every page on the Kestrelmoor list site, light and dark. */
:root{color-scheme:light dark}
body{margin:0;padding:24px 32px;font:15px/1.55 "Segoe UI",Ubuntu,"Noto Sans",Arial,sans-serif;background:#f6f5f1;color:#23262b}
main{max-width:44em}
h1{margin:0 0 4px;font-size:1.7em;color:#7a3b12}
h2{margin:1.4em 0 .3em;font-size:1.1em;color:#7a3b12}
.cat{display:inline-block;margin:0 0 12px;padding:2px 10px;border-radius:10px;font-size:.85em;background:#e6e0d4;color:#4a4036}
.box{padding:12px 16px;border-left:4px solid #b8641f;background:#ffffff;border-radius:4px}
a{color:#9c4a10}
a:hover{color:#c0601a}
footer{margin-top:28px;padding-top:10px;border-top:1px solid #d8d2c6;font-size:.85em;color:#6a6660}
@media (prefers-color-scheme:dark){
body{background:#1c1e22;color:#dcdcd6}
h1,h2{color:#f0a860}
.cat{background:#33363c;color:#d0c8bc}
.box{background:#25282d;border-left-color:#d07a30}
a{color:#f2a65a}
a:hover{color:#ffc27f}
footer{border-top-color:#3a3d43;color:#9a9a94}
}
"""

PAGE = """\
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{title}</title>
<link rel="stylesheet" href="{stylesheet}">
</head>
<body>
<main>
{body}</main>
</body>
</html>
"""

WELCOME_BODY = """\
<h1>Kestrelmoor's Quake 2 Mod List</h1>
<p class="cat">Welcome</p>
<div class="box">
<p>This is a hand-picked list of Quake 2 modifications: deathmatch and
Capture the Flag mods, team games, bots, total conversions, single-player
add-ons, the mission packs and a few handy utilities.</p>
</div>
<h2>Using the list</h2>
<p>The tree on the left sorts the mods into folders. Open a folder to see
its mods, then click a mod to show its page here, with a short description
of what it is and how it plays.</p>
<h2>Keeping up to date</h2>
<p>New mods are added to the list from time to time. Choose
<strong>Update list</strong> to fetch the newest list; the tree refreshes
as soon as the download has finished.</p>
<footer>Kestrelmoor Mod List &middot; Have fun, and see you on the servers.</footer>
"""

INDEX_BODY = """\
<h1>Kestrelmoor</h1>
<p class="cat">Home</p>
<div class="box">
<p>Kestrelmoor keeps a hand-picked list of modifications for Quake 2 and the
program to browse it with.</p>
</div>
<h2>The mod list</h2>
<p><a href="modlist/welcome.htm">Open the list's start page</a>, or pick a
mod from the tree on the left.</p>
<h2>Help</h2>
<p>If something does not work as it should, choose <strong>Update list</strong>
first: it brings the list and its pages up to date. The program's manual page,
<code>man kestrelmoor-modlist</code>, lists its options and files.</p>
<footer>Kestrelmoor Mod List &middot; Have fun, and see you on the servers.</footer>
"""

MOD_BODY = """\
<h1>{name}</h1>
<p class="cat">{folder}</p>
<div class="box">
<p>{description}</p>
</div>
<footer><a href="../welcome.htm">Back to the list start page</a></footer>
"""


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


def page(title, body, stylesheet):
    return PAGE.format(title=html.escape(title), stylesheet=stylesheet, body=body).encode("ascii")


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

    write_bytes(os.path.join(modlist, "welcome.htm"),
                page("Kestrelmoor's Quake 2 Mod List", WELCOME_BODY, "../site.css"))
    site = os.path.join(data, "listserver", "kestrelmoor")
    write_bytes(os.path.join(site, "index.htm"), page("Kestrelmoor", INDEX_BODY, "site.css"))
    write_bytes(os.path.join(site, "site.css"), CSS.encode("ascii"))

    for slug, folder, name, description in all_mods:
        body = MOD_BODY.format(name=html.escape(name), folder=html.escape(folder),
                               description=html.escape(description))
        write_bytes(os.path.join(modlist, "mods", slug + ".htm"),
                    page(name + " - Kestrelmoor's Quake 2 Mod List", body, "../../site.css"))


if __name__ == "__main__":
    main()
