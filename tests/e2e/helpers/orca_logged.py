#!/usr/bin/env python3
"""Runs Debian's Orca for a test: its debug log written line by line, so that
a test can read each utterance ("SPEECH OUTPUT: '...'") as Orca makes it,
without a speech server (there is no audio; Orca logs what it says before
handing it to one), and beside any other Orca of the same user (each test
has its own session bus). The arguments are Orca's own.
"""

import builtins
import runpy
import sys

import orca.speech

# Utterances are still logged; nothing is sent to speech-dispatcher, which
# waits for an audio device that a test machine does not have.
orca.speech.init = lambda: None

launcher = runpy.run_path("/usr/bin/orca", run_name="orca_launcher")
scope = launcher["main"].__globals__


def line_buffered(file, mode="r", *args, **kwargs):
    if "w" in mode:
        return builtins.open(file, mode, 1, encoding="utf-8")
    return builtins.open(file, mode, *args, **kwargs)


scope["open"] = line_buffered
# Orca refuses to start beside another Orca of the user, and would name
# itself "orca" for others to find; a test's Orca keeps to its own bus.
scope["otherOrcas"] = lambda: []
scope["setProcessName"] = lambda name: None
sys.argv = ["orca"] + sys.argv[1:]
sys.exit(launcher["main"]())
