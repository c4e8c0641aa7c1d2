#!/usr/bin/env python3
"""Writes a synthetic CLDF Wordlist for timing plix62c-cldf.

Usage: tools/gen-cldf.py DIR [LANGUAGES] [SYNONYM_RATE] [SEED]
(defaults 10000, 0.0, 1). Every language has a form for each of the 100
meanings of cldf/concepts-100.tsv, and a second one with SYNONYM_RATE. Words
descend from random proto-words by random sound changes per family, subgroup
and language, so that they repeat little; segments carry diacritics, tones,
affricates, source/target tokens and morpheme boundaries as Lexibank data do.
"""
import csv
import json
import os
import random
import sys

out = sys.argv[1]
nlang = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
synonym_rate = float(sys.argv[3]) if len(sys.argv) > 3 else 0.0
rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 1)
here = os.path.dirname(os.path.abspath(__file__))
concepts = []
with open(os.path.join(here, "..", "cldf", "concepts-100.tsv"), encoding="utf-8") as f:
    rows = [l.rstrip("\n").split("\t") for l in f if not l.startswith("#")]
    for number, gloss, ids in rows[1:]:
        concepts.append((int(number), gloss, ids.split(",")[0]))

consonants = "p b t d k g q ʔ m n ŋ ɲ f v s z ʃ ʒ x ɣ h l r ɾ j w ts tʃ dʒ pʰ tʰ kʰ kʷ tʼ ɓ ɗ ⁿd mb ɬ χ ħ ʕ ʈ ɖ ɳ ɭ".split()
vowels = "a e i o u ɛ ɔ ə ɪ ʊ ɨ æ ɑ y ø ã ẽ ĩ õ ũ aː eː iː oː uː ai au".split()
tones = ["", "", "", "˥", "˧", "˩", "¹", "²"]


def proto():
    word = []
    for _ in range(rng.randint(1, 3)):
        word.append(rng.choice(consonants))
        word.append(rng.choice(vowels) + rng.choice(tones))
    if rng.random() < 0.3:
        word.append(rng.choice(consonants))
    return word


def change(word, rate):
    out = []
    for seg in word:
        r = rng.random()
        if r < rate:
            pool = vowels if seg[0] in "aeiouɛɔəɪʊɨæɑyø" else consonants
            seg = rng.choice(pool)
        elif r < rate * 1.2:
            continue
        out.append(seg)
    if rng.random() < rate * 0.3:
        out.insert(rng.randint(0, len(out)), rng.choice(consonants))
    return out or [rng.choice(vowels)]


os.makedirs(out, exist_ok=True)
families = max(1, nlang // 400)
proto_words = [[proto() for _ in concepts] for _ in range(families)]
with open(os.path.join(out, "languages.csv"), "w", encoding="utf-8", newline="") as lf, \
        open(os.path.join(out, "forms.csv"), "w", encoding="utf-8", newline="") as ff:
    lw = csv.writer(lf, lineterminator="\n")
    fw = csv.writer(ff, lineterminator="\n")
    lw.writerow(["ID", "Name", "Glottocode", "ISO639P3code", "Family", "SubGroup"])
    fw.writerow(["ID", "Language_ID", "Parameter_ID", "Form", "Segments", "Loan"])
    subgroup_words = {}
    n = 0
    for l in range(nlang):
        fam = l % families
        sub = rng.randrange(8)
        key = (fam, sub)
        if key not in subgroup_words:
            subgroup_words[key] = [change(w, 0.25) for w in proto_words[fam]]
        lid = "lang%05d" % l
        lw.writerow([lid, "Language %d" % l, "", "", "Family %d" % fam, "Family %d-%d" % (fam, sub)])
        for k, (number, gloss, cid) in enumerate(concepts):
            for s in range(2 if rng.random() < synonym_rate else 1):
                word = change(subgroup_words[key][k], 0.15 + 0.3 * s)
                segs = list(word)
                if rng.random() < 0.05:
                    segs.insert(rng.randint(1, len(segs)), "+")
                if rng.random() < 0.05:
                    i = rng.randrange(len(segs))
                    segs[i] = rng.choice(consonants) + "/" + segs[i]
                n += 1
                fw.writerow(["f%d" % n, lid, "p%d" % number, "".join(word), " ".join(segs),
                             "true" if rng.random() < 0.01 else "false"])
with open(os.path.join(out, "parameters.csv"), "w", encoding="utf-8", newline="") as pf:
    pw = csv.writer(pf, lineterminator="\n")
    pw.writerow(["ID", "Name", "Concepticon_ID"])
    for number, gloss, cid in concepts:
        pw.writerow(["p%d" % number, gloss, cid])
term = "http://cldf.clld.org/v1.0/terms.rdf#"
meta = {"dc:conformsTo": term + "Wordlist", "dc:title": "Synthetic word list", "tables": [
    {"url": "forms.csv", "dc:conformsTo": term + "FormTable", "tableSchema": {"columns": [
        {"name": "ID", "propertyUrl": term + "id"},
        {"name": "Language_ID", "propertyUrl": term + "languageReference"},
        {"name": "Parameter_ID", "propertyUrl": term + "parameterReference"},
        {"name": "Form", "propertyUrl": term + "form"},
        {"name": "Segments", "propertyUrl": term + "segments", "separator": " "},
        {"name": "Loan"}]}},
    {"url": "languages.csv", "dc:conformsTo": term + "LanguageTable"},
    {"url": "parameters.csv", "dc:conformsTo": term + "ParameterTable", "tableSchema": {"columns": [
        {"name": "ID", "propertyUrl": term + "id"},
        {"name": "Name", "propertyUrl": term + "name"},
        {"name": "Concepticon_ID", "propertyUrl": term + "concepticonReference"}]}}]}
with open(os.path.join(out, "cldf-metadata.json"), "w", encoding="utf-8") as mf:
    json.dump(meta, mf, indent=1)
print("%d languages, %d forms" % (nlang, n), file=sys.stderr)
