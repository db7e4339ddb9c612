# What today's web sends beside HTTP itself: page encodings, compressed bodies, robots files.
orvalis_fuzz(fuzz_page_encoding orvalis_net)
orvalis_fuzz(fuzz_robots_rules orvalis_net)
