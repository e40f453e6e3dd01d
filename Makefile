# The two everyday commands; both install what is missing first (as root).
.PHONY: test demo bench
test:
	bash scripts/test.sh

demo:
	bash scripts/demo.sh

bench:
	bash scripts/bench.sh
