module promfmt/fuzz/reader

go 1.26.0

require (
	github.com/prometheus/client_model v0.6.3
	github.com/prometheus/common v0.73.1
)

require (
	github.com/munnerz/goautoneg v0.0.0-20191010083416-a7dc8b61c822 // indirect
	github.com/pandatix/go-abnf v0.5.3 // indirect
	google.golang.org/protobuf v1.36.12 // indirect
)
